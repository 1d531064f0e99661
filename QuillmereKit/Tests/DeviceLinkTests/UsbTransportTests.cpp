#include <chrono>
#include <future>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "DeviceLink/USB/UsbAdbTransport.h"
#include "DeviceLink/USB/UsbFraming.h"
#include "Support/FakeUsb.h"
#include "Support/MemoryPacketTransport.h"

namespace qm::test {
namespace {

using namespace std::chrono_literals;
using Command = AdbMessage::Command;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

Bytes filled(std::size_t count) {
    Bytes bytes(count);
    for (std::size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<std::uint8_t>(i * 7);
    }
    return bytes;
}

// The real transport over a fake port; the test plays the phone on the cable's other end.
struct Rig {
    explicit Rig(FakeUsbPort::Options options = {}) {
        auto [host, device] = MemoryPacketTransport::makePair(0x80000);
        phone = device;
        port = std::make_shared<FakeUsbPort>(host, std::move(options));
        transport = UsbAdbTransport::open(FakeUsbPort::interfaceOf(port), {7, "SER", "Phone"});
    }

    std::shared_ptr<MemoryPacketTransport> phone;
    std::shared_ptr<FakeUsbPort> port;
    std::shared_ptr<UsbAdbTransport> transport;
};

template <typename Error>
Error caught(const std::function<void()>& body) {
    try {
        body();
    } catch (const Error& error) {
        return error;
    }
    ADD_FAILURE() << "nothing thrown";
    throw std::logic_error("nothing thrown");
}

TEST(UsbFraming, ZeroLengthPacketOnlyAfterAFullLastPacket) {
    EXPECT_TRUE(UsbFraming::needsZeroLengthPacket(512, 512));
    EXPECT_TRUE(UsbFraming::needsZeroLengthPacket(1024, 512));
    EXPECT_FALSE(UsbFraming::needsZeroLengthPacket(511, 512));
    EXPECT_FALSE(UsbFraming::needsZeroLengthPacket(513, 512));
    EXPECT_FALSE(UsbFraming::needsZeroLengthPacket(0, 512));
    EXPECT_FALSE(UsbFraming::needsZeroLengthPacket(512, 0));
}

TEST(UsbFraming, EndpointsAreTheFirstBulkOnesOfEachDirection) {
    const std::vector<UsbEndpointInfo> endpoints = {{0x83, false, true, 64},
                                                    {0x81, true, true, 512},
                                                    {0x82, true, true, 512},
                                                    {0x02, true, false, 1024},
                                                    {0x03, true, false, 512}};
    const UsbBulkEndpoints selected = UsbBulkEndpoints::select(endpoints);
    EXPECT_EQ(selected.inEndpoint.address, 0x81);
    EXPECT_EQ(selected.outEndpoint.address, 0x02);

    const std::vector<UsbEndpointInfo> noOut = {{0x81, true, true, 512}, {0x01, false, false, 8}};
    EXPECT_EQ(caught<UsbError>([&] { UsbBulkEndpoints::select(noOut); }).kind(),
              UsbErrorKind::notFound);
}

TEST(UsbFraming, DrainStopsAtTheFirstFailureTheByteLimitOrTheRequestLimit) {
    int calls = 0;
    EXPECT_EQ(UsbFraming::drain(100, 50,
                                [&]() -> std::size_t {
                                    if (++calls == 3) {
                                        throw UsbError::io(-7);
                                    }
                                    return 10;
                                }),
              20u);
    EXPECT_EQ(UsbFraming::drain(100, 50, [] { return std::size_t{64}; }), 128u);
    calls = 0;
    EXPECT_EQ(UsbFraming::drain(100, 50, [&] { return ++calls, std::size_t{0}; }), 0u);
    EXPECT_EQ(calls, 50);
}

TEST(UsbError, TextsAndLibusbCodes) {
    EXPECT_STREQ(UsbError::io(UsbError::shortWriteCode).what(), "io(-536870169)");
    EXPECT_STREQ(UsbError::exclusiveAccess().what(), "exclusiveAccess");
    EXPECT_STREQ(UsbError::notFound().what(), "notFound");
    // A claimed interface is busy only when opening; later it is a plain failure.
    EXPECT_EQ(UsbError::openFailure(-6).kind(), UsbErrorKind::exclusiveAccess);
    EXPECT_EQ(UsbError::fromLibusb(-6), UsbError::io(-6));
    EXPECT_EQ(UsbError::openFailure(-4).kind(), UsbErrorKind::notFound);
    // A device node this user may not open, whenever libusb meets it.
    EXPECT_EQ(UsbError::openFailure(-3).kind(), UsbErrorKind::access);
    EXPECT_EQ(UsbError::fromLibusb(-3).kind(), UsbErrorKind::access);
    EXPECT_EQ(UsbError::fromTransfer(UsbTransferStatus::noDevice).kind(), UsbErrorKind::notFound);
    EXPECT_EQ(UsbError::fromTransfer(UsbTransferStatus::stalled), UsbError::io(-9));
}

TEST(UsbAdbTransport, PayloadsFillingTheLastPacketAreEndedByAnEmptyOne) {
    Rig rig;
    rig.transport->write(AdbMessage(Command::wrte, 1, 2, filled(512)));
    rig.transport->write(AdbMessage(Command::wrte, 1, 2, filled(1024)));
    rig.transport->write(AdbMessage(Command::wrte, 1, 2, filled(511)));
    rig.transport->write(AdbMessage(Command::wrte, 1, 2, filled(513)));
    rig.transport->write(AdbMessage(Command::okay, 1, 2));
    EXPECT_THAT(rig.port->outTransfers(),
                ElementsAre(24, 512, 0, 24, 1024, 0, 24, 511, 24, 513, 24));
    EXPECT_THAT(rig.port->violations(), IsEmpty());
    for (std::size_t size : {512u, 1024u, 511u, 513u}) {
        EXPECT_EQ(rig.phone->read(), AdbMessage(Command::wrte, 1, 2, filled(size)));
    }
    EXPECT_EQ(rig.phone->read().command, Command::okay);

    // The header is not a payload: with 8-byte packets it fills three and is ended by none.
    FakeUsbPort::Options small;
    small.endpoints = {{0x81, true, true, 8}, {0x01, true, false, 8}};
    Rig smallPackets(small);
    smallPackets.transport->write(AdbMessage(Command::okay, 1, 2));
    smallPackets.transport->write(AdbMessage(Command::wrte, 1, 2, filled(16)));
    smallPackets.transport->write(AdbMessage(Command::wrte, 1, 2, filled(17)));
    EXPECT_THAT(smallPackets.port->outTransfers(), ElementsAre(24, 24, 16, 0, 24, 17));
    EXPECT_THAT(smallPackets.port->violations(), IsEmpty());
}

TEST(UsbAdbTransport, WithoutAPacketSizeNoEmptyPacketIsSent) {
    FakeUsbPort::Options options;
    options.endpoints = {{0x81, true, true, 512}, {0x01, true, false, 0}};
    Rig rig(options);
    rig.transport->write(AdbMessage(Command::wrte, 1, 2, filled(512)));
    EXPECT_THAT(rig.port->outTransfers(), ElementsAre(24, 512));
}

TEST(UsbAdbTransport, MessagesAreReassembledFromShortAndEmptyTransfers) {
    FakeUsbPort::Options options;
    options.maxInTransfer = 10;
    options.emptyInTransfers = 1;
    Rig rig(options);
    const AdbMessage sent(Command::wrte, 3, 4, filled(1000));
    rig.phone->write(sent);
    rig.phone->write(AdbMessage(Command::clse, 3, 4));
    EXPECT_EQ(rig.transport->read(), sent);
    EXPECT_EQ(rig.transport->read(), AdbMessage(Command::clse, 3, 4));
    // 24 + 1000 bytes in pieces of 10, each after an empty transfer.
    EXPECT_EQ(rig.port->inTransfers(), 2u * (3 + 100) + 2u * 3);
}

TEST(UsbAdbTransport, PayloadLengthIsCheckedBeforeThePayloadIsRead) {
    Rig rig;
    rig.phone->write(AdbMessage(Command::wrte, 1, 1, filled(0x40000)));
    EXPECT_EQ(rig.transport->read().payload.size(), 0x40000u);

    rig.phone->write(AdbMessage(Command::wrte, 1, 1, filled(0x40001)));
    const AdbError error = caught<AdbError>([&] { rig.transport->read(); });
    EXPECT_EQ(error.kind(), AdbErrorKind::protocolViolation);
    EXPECT_STREQ(error.what(), "payload too large: 262145");
}

TEST(UsbAdbTransport, ShortWriteAndFailedTransfersAreUsbErrors) {
    Rig rig;
    rig.port->shortWriteNext();
    EXPECT_EQ(caught<UsbError>([&] { rig.transport->write(AdbMessage(Command::okay, 1, 1)); }),
              UsbError::io(UsbError::shortWriteCode));
    rig.port->failNext(true, UsbTransferStatus::stalled);
    EXPECT_EQ(caught<UsbError>([&] { rig.transport->read(); }), UsbError::io(-9));
    rig.port->failNext(false, UsbTransferStatus::noDevice);
    EXPECT_EQ(caught<UsbError>([&] { rig.transport->write(AdbMessage(Command::okay, 1, 1)); }),
              UsbError::notFound());
}

TEST(UsbAdbTransport, APhoneThatVanishesMidMessageEndsTheReadWithNotFound) {
    Rig rig;
    const auto header = AdbMessage(Command::wrte, 1, 1, filled(16)).encodedHeader();
    rig.phone->writeRaw(ByteView(header).first(10));
    rig.phone->close();
    EXPECT_EQ(caught<UsbError>([&] { rig.transport->read(); }), UsbError::notFound());
}

TEST(UsbAdbTransport, CloseEndsAWaitingReadAndLaterCallsTouchNothing) {
    Rig rig;
    auto reading = std::async(std::launch::async, [&] { return rig.transport->read(); });
    ASSERT_EQ(reading.wait_for(20ms), std::future_status::timeout);
    rig.transport->close();
    EXPECT_EQ(caught<AdbError>([&] { reading.get(); }).kind(), AdbErrorKind::closed);
    EXPECT_TRUE(rig.port->isAborted());

    const std::size_t transfers = rig.port->inTransfers();
    EXPECT_EQ(caught<AdbError>([&] { rig.transport->read(); }).kind(), AdbErrorKind::closed);
    EXPECT_EQ(
        caught<AdbError>([&] { rig.transport->write(AdbMessage(Command::okay, 1, 1)); }).kind(),
        AdbErrorKind::closed);
    rig.transport->drainPending(1ms);
    rig.transport->close();
    EXPECT_EQ(rig.port->inTransfers(), transfers);
    EXPECT_THAT(rig.port->outTransfers(), IsEmpty());
}

TEST(UsbAdbTransport, DrainDiscardsLeftoversUntilThePhoneIsQuiet) {
    Rig rig;
    rig.transport->drainPending(0ns);  // zero would be no time-out to libusb
    EXPECT_EQ(rig.port->lastInTimeout(), 1ms);

    rig.phone->writeRaw(filled(100));
    rig.transport->drainPending(5ms);
    rig.phone->write(AdbMessage(Command::okay, 5, 6));
    EXPECT_EQ(rig.transport->read(), AdbMessage(Command::okay, 5, 6));
}

TEST(UsbAdbTransport, DrainEndsForAPhoneSendingOnlyEmptyPackets) {
    FakeUsbPort::Options options;
    options.emptyInTransfers = std::numeric_limits<std::size_t>::max();
    Rig rig(options);
    rig.transport->drainPending(10s);
    EXPECT_EQ(rig.port->inTransfers(), UsbAdbTransport::drainMaxRequests);
}

TEST(UsbAdbTransport, OpenNeedsBulkPipesBothWays) {
    auto [host, device] = MemoryPacketTransport::makePair();
    FakeUsbPort::Options options;
    options.endpoints = {{0x81, true, true, 512}, {0x02, false, false, 512}};
    auto port = std::make_shared<FakeUsbPort>(host, options);
    EXPECT_EQ(caught<UsbError>([&] {
                  UsbAdbTransport::open(FakeUsbPort::interfaceOf(port), {1, "", "Android"});
              }).kind(),
              UsbErrorKind::notFound);
    EXPECT_TRUE(port->isAborted());  // the claim was released
}

TEST(UsbAdbTransport, ConcurrentWritersNeverInterleaveMessages) {
    Rig rig;
    constexpr int perWriter = 50;
    std::vector<std::jthread> writers;
    for (std::uint32_t w = 1; w <= 4; ++w) {
        writers.emplace_back([&, w] {
            for (int i = 0; i < perWriter; ++i) {
                rig.transport->write(
                    AdbMessage(Command::wrte, w, w, Bytes(512 + w, std::uint8_t(w))));
            }
        });
    }
    for (int i = 0; i < 4 * perWriter; ++i) {
        const AdbMessage message = rig.phone->read();
        EXPECT_EQ(message.payload, Bytes(512 + message.arg0, std::uint8_t(message.arg0)));
    }
    EXPECT_THAT(rig.port->violations(), IsEmpty());
}

}  // namespace
}  // namespace qm::test
