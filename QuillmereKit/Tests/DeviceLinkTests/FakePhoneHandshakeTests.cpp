#include <chrono>
#include <future>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "DeviceLink/AdbKey.h"
#include "DeviceLink/DeviceBanner.h"
#include "Support/FakePhone.h"
#include "Support/TestHost.h"
#include "Support/VirtualClock.h"
#include "Support/Waiting.h"

namespace qm::test {
namespace {

using namespace std::chrono_literals;
using Command = AdbMessage::Command;
using Approval = FakeAdbScript::Approval;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

const AdbKey& hostKey() {
    return *testHostKey();
}

FakeAdbScript scripted(Approval approval) {
    FakeAdbScript script;
    script.approval = approval;
    script.approvalDelay = 50ms;
    return script;
}

FakeAdbScript scripted(HandshakeFault fault) {
    FakeAdbScript script;
    script.fault = fault;
    return script;
}

// Plays the host's side of the handshake by hand, one message at a time.
class Host {
public:
    explicit Host(FakePhone& phone) : transport_(phone.hostTransport()) {}

    void connect() {
        transport_->write(AdbMessage(Command::cnxn, AdbProtocolConstants::version,
                                     AdbProtocolConstants::maxPayload,
                                     toBytes("host::features=shell_v2,cmd")));
    }
    AdbMessage read() { return transport_->read(); }
    AdbMessage expectToken() {
        AdbMessage token = read();
        EXPECT_EQ(token.command, Command::auth);
        EXPECT_EQ(token.arg0, AdbMessage::authToken);
        EXPECT_EQ(token.payload.size(), 20u);
        return token;
    }
    void sign(const AdbMessage& token) {
        transport_->write(
            AdbMessage(Command::auth, AdbMessage::authSignature, 0, hostKey().sign(token.payload)));
    }
    void offerKey() {
        transport_->write(AdbMessage(Command::auth, AdbMessage::authPublicKey, 0,
                                     hostKey().androidPublicKey("tester@desk")));
    }
    MemoryPacketTransport& transport() { return *transport_; }

private:
    std::shared_ptr<MemoryPacketTransport> transport_;
};

std::string violationOf(Host& host) {
    try {
        host.read();
    } catch (const AdbError& error) {
        return error.message();
    }
    return "no violation";
}

void expectConnect(const AdbMessage& message) {
    ASSERT_EQ(message.command, Command::cnxn);
    EXPECT_EQ(message.arg0, AdbProtocolConstants::version);
    EXPECT_EQ(message.arg1, AdbProtocolConstants::maxPayload);
    const DeviceBanner banner = DeviceBanner::parse(message.payload);
    EXPECT_EQ(banner.state, "device");
    EXPECT_EQ(banner.properties.at("ro.product.model"), "QM One");
    EXPECT_EQ(banner.features, (std::set<std::string>{"shell_v2", "cmd"}));
}

// A trusting phone answers the first signature with its CNXN.
void signIn(Host& host) {
    host.sign(host.expectToken());
    expectConnect(host.read());
}

TEST(FakePhoneHandshake, TrustedKeyConnectsOnItsFirstSignature) {
    FakePhone phone;
    phone.adb().trust(hostKey());
    Host host(phone);
    host.connect();
    signIn(host);
    EXPECT_TRUE(phone.adb().isConnected());
    EXPECT_EQ(phone.adb().tokensSent(), 1u);
    EXPECT_THAT(phone.adb().offeredKeyComments(), IsEmpty());
    EXPECT_THAT(phone.adb().violations(), IsEmpty());
}

TEST(FakePhoneHandshake, UnknownKeyIsAskedForAgainThenApproved) {
    FakePhone phone;
    Host host(phone);
    host.connect();
    const AdbMessage first = host.expectToken();
    host.sign(first);
    const AdbMessage second = host.expectToken();
    EXPECT_NE(second.payload, first.payload);
    host.offerKey();
    expectConnect(host.read());
    EXPECT_THAT(phone.adb().offeredKeyComments(), ElementsAre("tester@desk"));
    EXPECT_EQ(phone.adb().trustedKeyCount(), 1u);
    EXPECT_THAT(phone.adb().violations(), IsEmpty());
}

TEST(FakePhoneHandshake, ApprovalCanComeLaterOrNever) {
    for (Approval approval : {Approval::afterDelay, Approval::onSignal, Approval::never}) {
        VirtualClock clock(0, 0);  // the delay lasts until the test lets time pass
        FakeAdbScript script = scripted(approval);
        script.approvalClock = clock.taskClock();
        FakePhone phone(script);
        Host host(phone);
        host.connect();
        host.sign(host.expectToken());
        host.expectToken();
        host.offerKey();
        ASSERT_TRUE(eventually([&] {
            return approval == Approval::afterDelay ? clock.parked()
                                                    : !phone.adb().offeredKeyComments().empty();
        }));
        EXPECT_EQ(host.transport().pendingByteCount(), 0u);
        if (approval == Approval::afterDelay) {
            clock.parkAt(std::nullopt);
            EXPECT_THAT(clock.sleeps(), ElementsAre(50ms));
        }
        if (approval == Approval::onSignal) {
            EXPECT_TRUE(phone.adb().approvePendingKey());
        }
        if (approval == Approval::never) {
            host.transport().close();  // the host gives up
            EXPECT_THROW(host.read(), AdbError);
        } else {
            expectConnect(host.read());
        }
        EXPECT_EQ(phone.adb().approvePendingKey(), approval == Approval::never);
        EXPECT_THAT(phone.adb().violations(), IsEmpty());
    }
}

TEST(FakePhoneHandshake, RefusedKeyOrWrongSignatureGetsANewToken) {
    FakePhone phone(scripted(Approval::refuse));
    Host host(phone);
    host.connect();
    const AdbMessage token = host.expectToken();
    host.transport().write(AdbMessage(Command::auth, AdbMessage::authSignature, 0, Bytes(256, 7)));
    host.expectToken();
    host.offerKey();
    host.expectToken();
    EXPECT_EQ(phone.adb().tokensSent(), 3u);
    EXPECT_FALSE(phone.adb().isConnected());
    EXPECT_THAT(phone.adb().violations(), IsEmpty());
}

TEST(FakePhoneHandshake, FaultsReachTheHostAsWireBytes) {
    const std::pair<HandshakeFault, std::string> rejected[] = {
        {HandshakeFault::oversizedPayload, "payload too large: 262145"},
        {HandshakeFault::unknownCommand, "unknown command 0x54534554"},
    };
    for (const auto& [fault, expected] : rejected) {
        FakePhone phone(scripted(fault));
        Host host(phone);
        host.connect();
        EXPECT_EQ(violationOf(host), expected);
    }
    {
        FakePhone phone(scripted(HandshakeFault::badMagic));
        Host host(phone);
        host.connect();
        EXPECT_THAT(violationOf(host), ::testing::StartsWith("bad magic 0x48545541 for command"));
    }
    for (HandshakeFault fault : {HandshakeFault::dropLink, HandshakeFault::dropMidMessage}) {
        FakePhone phone(scripted(fault));
        Host host(phone);
        host.connect();
        EXPECT_THROW(host.read(), ByteIOError);
    }
}

TEST(FakePhoneHandshake, FaultsThatAreWellFormedMessages) {
    const std::pair<HandshakeFault, Command> cases[] = {
        {HandshakeFault::stls, Command::stls},
        {HandshakeFault::openDuringHandshake, Command::open},
        {HandshakeFault::wrongAuthType, Command::auth},
        {HandshakeFault::shortToken, Command::auth},
        {HandshakeFault::strayOkay, Command::okay},
    };
    for (const auto& [fault, command] : cases) {
        FakePhone phone(scripted(fault));
        Host host(phone);
        host.connect();
        const AdbMessage message = host.read();
        EXPECT_EQ(message.command, command);
        if (fault == HandshakeFault::wrongAuthType) {
            EXPECT_EQ(message.arg0, AdbMessage::authSignature);
        }
        if (fault == HandshakeFault::shortToken) {
            EXPECT_EQ(message.payload.size(), 19u);
        }
        if (fault == HandshakeFault::strayOkay) {
            phone.adb().trust(hostKey());
            signIn(host);
        }
    }
}

TEST(FakePhoneHandshake, StaleBytesWaitUntilTheHostDrainsThem) {
    FakePhone phone(scripted(HandshakeFault::staleBytesPrefix));
    phone.adb().trust(hostKey());
    Host host(phone);
    host.transport().drainPending(10ms);
    EXPECT_EQ(host.transport().drainedByteCount(), 100u);
    host.connect();
    signIn(host);
}

TEST(FakePhoneHandshake, RecordsWhatARealPhoneWouldRefuse) {
    FakePhone phone;
    Host host(phone);
    host.transport().write(AdbMessage(Command::wrte, 1, 1, toBytes("x")));
    host.transport().write(AdbMessage(Command::cnxn, 0x01000000, 4096, toBytes("host::")));
    const AdbMessage token = host.expectToken();
    host.transport().write(AdbMessage(Command::auth, AdbMessage::authToken, 0, token.payload));
    Bytes badKey = hostKey().androidPublicKey("x");
    badKey.pop_back();  // no NUL
    host.transport().write(AdbMessage(Command::auth, AdbMessage::authPublicKey, 0, badKey));
    host.transport().writeRaw(Bytes(24, 0));
    EXPECT_TRUE(eventually([&] { return phone.adb().violations().size() == 7; }));
    EXPECT_THAT(phone.adb().violations(),
                ElementsAre("host sent wrte before its CNXN", "host CNXN version is 0x01000000",
                            "host CNXN max payload is 4096", "host banner is \"host::\"",
                            "host sent AUTH of type 1",
                            "host offered a bad public key: the public key does not end in a NUL",
                            ::testing::StartsWith("host sent a malformed message: bad magic")));
    EXPECT_FALSE(phone.adb().isConnected());
}

TEST(FakePhoneHandshake, OpensOfUnknownServicesAreRefused) {
    FakePhone phone;
    phone.adb().trust(hostKey());
    Host host(phone);
    host.connect();
    signIn(host);
    host.transport().write(
        AdbMessage(Command::open, 5, 0, toBytes(std::string_view("tcp:80\0", 7))));
    EXPECT_EQ(host.read(), AdbMessage(Command::clse, 0, 5));
    EXPECT_THAT(phone.adb().violations(), IsEmpty());
}

TEST(MemoryPacketTransport, ClosingOneEndIsAPulledCableForTheOther) {
    auto [hostEnd, deviceEnd] = MemoryPacketTransport::makePair();
    deviceEnd->write(AdbMessage(Command::okay, 1, 2));
    deviceEnd->close();
    EXPECT_EQ(hostEnd->read(), AdbMessage(Command::okay, 1, 2));
    EXPECT_THROW(hostEnd->read(), ByteIOError);
    EXPECT_THROW(hostEnd->write(AdbMessage(Command::okay, 1, 2)), ByteIOError);
    EXPECT_THROW(deviceEnd->read(), AdbError);

    auto pair = MemoryPacketTransport::makePair();
    auto blocked = std::async(std::launch::async, [&] { return pair.first->read(); });
    EXPECT_EQ(blocked.wait_for(20ms), std::future_status::timeout);
    pair.first->close();
    try {
        blocked.get();
        ADD_FAILURE() << "the read was not released";
    } catch (const AdbError& error) {
        EXPECT_EQ(error, AdbError::closed());
    }
    pair.first->drainPending(1s);  // returns at once once closed
}

}  // namespace
}  // namespace qm::test
