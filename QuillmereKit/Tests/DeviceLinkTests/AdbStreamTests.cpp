#include <atomic>
#include <future>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "DeviceLink/SyncProtocol.h"
#include "DeviceLink/USB/UsbAdbTransport.h"
#include "QuillmereCore/Log.h"
#include "Support/Expect.h"
#include "Support/FakeUsb.h"
#include "Support/TestHost.h"
#include "Support/Waiting.h"

namespace qm::test {
namespace {

using namespace std::chrono_literals;
using Command = AdbMessage::Command;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr std::string_view socketName = "localabstract:quillmere_0000002a";

Bytes filled(std::size_t count, std::uint8_t value) {
    return Bytes(count, value);
}

// A phone that accepts the test socket, and a host connected to it.
class AdbStreams : public ::testing::Test {
protected:
    void connect(FakeAdbScript script = {}) {
        phone_.emplace(std::move(script));
        phone_->adb().services().acceptService(std::string(socketName));
        host_ = connectedHost(*phone_, [this](std::exception_ptr) { ++failures_; });
    }
    void TearDown() override {
        if (phone_) {
            EXPECT_THAT(phone_->adb().violations(), IsEmpty());
        }
    }

    FakeAdbDevice& adb() { return phone_->adb(); }
    std::vector<SeenMessage> seen(Command command) {
        std::vector<SeenMessage> out;
        for (const SeenMessage& message : adb().received()) {
            if (message.command == command) {
                out.push_back(message);
            }
        }
        return out;
    }
    std::vector<std::size_t> writeSizes() {
        std::vector<std::size_t> sizes;
        for (const SeenMessage& message : seen(Command::wrte)) {
            sizes.push_back(message.payloadSize);
        }
        return sizes;
    }

    std::optional<FakePhone> phone_;
    std::shared_ptr<AdbConnection> host_;
    std::atomic<int> failures_ = 0;
};

FakeAdbScript withPayload(std::uint32_t maxPayload, StreamFaults faults = {}) {
    FakeAdbScript script;
    script.maxPayload = maxPayload;
    script.streamFaults = faults;
    return script;
}

StreamFaults okaysWithheldAfter(std::size_t answered, bool duplicated = false) {
    StreamFaults faults;
    faults.withholdOkayAfter = answered;
    faults.duplicateOkay = duplicated;
    return faults;
}

TEST_F(AdbStreams, OpensCountIdsFromOneAndNameTheirService) {
    connect();
    const auto socket = host_->open(std::string(socketName));
    const auto sync = host_->open("sync:");
    EXPECT_EQ(socket->localID(), 1u);
    EXPECT_EQ(sync->localID(), 2u);
    try {
        host_->open("tcp:5555");
        ADD_FAILURE() << "opened";
    } catch (const AdbError& error) {
        EXPECT_EQ(error, AdbError::streamOpenFailed("tcp:5555"));
    }
    EXPECT_EQ(host_->open("sync:")->localID(), 4u);
    EXPECT_THAT(
        seen(Command::open),
        ElementsAre(SeenMessage{Command::open, 1, 0, socketName.size() + 1},
                    SeenMessage{Command::open, 2, 0, 6}, SeenMessage{Command::open, 3, 0, 9},
                    SeenMessage{Command::open, 4, 0, 6}));
}

TEST_F(AdbStreams, OpenWaitsForTheHandshake) {
    phone_.emplace();
    phone_->adb().trust(*testHostKey());
    auto host = makeHost(*phone_);
    EXPECT_THROW(host->open("sync:"), AdbError);
    host->connect({});
    EXPECT_EQ(host->open("sync:")->localID(), 1u);
}

TEST_F(AdbStreams, WritesAreCutAtTheNegotiatedPayload) {
    FakeAdbScript script = withPayload(4096);
    script.version = 0x01000000;  // a phone that checks every payload's checksum
    connect(script);
    const auto stream = host_->open(std::string(socketName));
    stream->write({});
    stream->write(filled(4096, 1));
    stream->write(filled(4097, 2));
    // A write returns once its last chunk is sent; the phone may still be taking it in.
    ASSERT_TRUE(eventually([&] { return writeSizes().size() == 3; }));
    EXPECT_THAT(writeSizes(), ElementsAre(4096, 4096, 1));
    Bytes expected = filled(4096, 1);
    const Bytes second = filled(4097, 2);
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_EQ(adb().services().receivedOn(1), expected);
    for (const SeenMessage& message : seen(Command::wrte)) {
        EXPECT_EQ(message.arg0, 1u);
        EXPECT_EQ(message.arg1, 0x100u);  // the phone's id, from its OKAY
    }
}

TEST_F(AdbStreams, EachChunkWaitsForThePhonesOkay) {
    connect(withPayload(4096, okaysWithheldAfter(1)));
    const auto stream = host_->open(std::string(socketName));
    auto writing = std::async(std::launch::async, [&] { stream->write(filled(3 * 4096, 7)); });
    // However the test ends, the write gets its OKAYs and the future's wait ends.
    const struct Release {
        FakeAdbDevice& adb;
        ~Release() { adb.releaseWithheldOkays(); }
    } release{adb()};
    ASSERT_TRUE(eventually([&] { return writeSizes().size() >= 2; }));
    EXPECT_EQ(writing.wait_for(30ms), std::future_status::timeout);
    EXPECT_EQ(writeSizes().size(), 2u) << "a chunk went out before the OKAY of the last";
    adb().releaseWithheldOkays();
    writing.get();
    EXPECT_THAT(writeSizes(), ElementsAre(4096, 4096, 4096));
}

TEST_F(AdbStreams, ADuplicatedOkayGrantsNoSecondWrite) {
    connect(withPayload(4096, okaysWithheldAfter(1, true)));
    const auto stream = host_->open(std::string(socketName));
    stream->write(filled(10, 1));  // answered twice
    // Once the phone's next bytes are read, the reader has taken both OKAYs before them.
    ASSERT_TRUE(adb().sendOnStream(1, toBytes("x")));
    EXPECT_EQ(stream->readExactly(1), toBytes("x"));
    auto writing = std::async(std::launch::async, [&] { stream->write(filled(3 * 4096, 2)); });
    // Each chunk waits for its own OKAY, withheld now: a second in flight is a violation.
    ASSERT_TRUE(eventually([&] { return writeSizes().size() == 2; }));
    adb().releaseWithheldOkays();
    writing.get();
    // A duplicate cannot be told from the OKAY of the next chunk, which may then still be on
    // its way: the last one here, so nothing goes out early.
    ASSERT_TRUE(eventually([&] { return writeSizes().size() == 4; }));
    EXPECT_THAT(writeSizes(), ElementsAre(10, 4096, 4096, 4096));
}

TEST_F(AdbStreams, ConcurrentWritersNeverMixTheirBytes) {
    connect(withPayload(4096));
    const auto stream = host_->open(std::string(socketName));
    constexpr int writers = 4;
    constexpr int sendsEach = 5;
    constexpr std::size_t sendSize = 10000;  // three chunks each
    {
        std::vector<std::jthread> threads;
        for (int w = 0; w < writers; ++w) {
            threads.emplace_back([&, w] {
                for (int i = 0; i < sendsEach; ++i) {
                    stream->write(filled(sendSize, static_cast<std::uint8_t>(w * sendsEach + i)));
                }
            });
        }
    }
    // A write returns once its last chunk is sent; the phone may still be taking it in.
    constexpr std::size_t total = writers * sendsEach * sendSize;
    ASSERT_TRUE(eventually([&] { return adb().services().receivedOn(1).size() >= total; }));
    const Bytes received = adb().services().receivedOn(1);
    ASSERT_EQ(received.size(), total);
    std::set<std::uint8_t> values;
    for (std::size_t at = 0; at < received.size(); at += sendSize) {
        const auto run = ByteView(received).subspan(at, sendSize);
        EXPECT_TRUE(std::all_of(run.begin(), run.end(), [&](auto b) { return b == run[0]; }))
            << "send at " << at << " is mixed";
        values.insert(run[0]);
    }
    EXPECT_EQ(values.size(), std::size_t{writers * sendsEach});
}

TEST_F(AdbStreams, APhoneCloseKeepsBufferedBytesReadable) {
    connect();
    const auto stream = host_->open(std::string(socketName));
    ASSERT_TRUE(adb().sendOnStream(1, toBytes("0123456789")));
    ASSERT_TRUE(adb().closeStream(1));
    EXPECT_EQ(stream->readExactly(10), toBytes("0123456789"));
    EXPECT_EQ(test::thrown<ByteIOError>([&] { stream->readExactly(1); }).kind(),
              ByteIOErrorKind::endOfStream);
    EXPECT_TRUE(stream->readExactly(0).empty());
    EXPECT_EQ(test::thrown<ByteIOError>([&] { stream->write(toBytes("late")); }).kind(),
              ByteIOErrorKind::closed);
    stream->close();
    EXPECT_THAT(seen(Command::clse), IsEmpty());
}

TEST_F(AdbStreams, ALocalCloseSendsOneClseAndFailsReadsAtOnce) {
    connect();
    const auto stream = host_->open(std::string(socketName));
    ASSERT_TRUE(adb().sendOnStream(1, toBytes("buffered")));
    auto reading = std::async(std::launch::async, [&] { return stream->readExactly(100); });
    EXPECT_EQ(reading.wait_for(30ms), std::future_status::timeout);
    stream->close();
    EXPECT_EQ(test::thrown<ByteIOError>([&] { reading.get(); }).kind(), ByteIOErrorKind::closed);
    stream->close();
    EXPECT_EQ(test::thrown<ByteIOError>([&] { stream->readExactly(1); }).kind(),
              ByteIOErrorKind::closed);
    EXPECT_TRUE(stream->readExactly(0).empty());  // asks nothing of an ended stream
    EXPECT_EQ(test::thrown<ByteIOError>([&] { stream->write(toBytes("x")); }).kind(),
              ByteIOErrorKind::closed);
    stream->write({});
    ASSERT_TRUE(eventually([&] { return adb().openStreamCount() == 0; }));
    EXPECT_THAT(seen(Command::clse), ElementsAre(SeenMessage{Command::clse, 1, 0x100, 0}));
}

TEST_F(AdbStreams, AnAbandonedStreamIsClosed) {
    connect();
    host_->open(std::string(socketName));
    ASSERT_TRUE(eventually([&] { return adb().openStreamCount() == 0; }));
    EXPECT_EQ(seen(Command::clse).size(), 1u);
    EXPECT_FALSE(adb().sendOnStream(1, toBytes("nobody listens")));
}

TEST_F(AdbStreams, ClosingTheConnectionEndsEverythingAsClosed) {
    connect(withPayload(4096, okaysWithheldAfter(0)));
    const auto buffered = host_->open(std::string(socketName));
    const auto writer = host_->open(std::string(socketName));
    ASSERT_TRUE(adb().sendOnStream(1, toBytes("0123456789")));
    EXPECT_EQ(buffered->readExactly(5), toBytes("01234"));
    auto writing = std::async(std::launch::async, [&] { writer->write(toBytes("stuck")); });
    ASSERT_TRUE(eventually([&] { return writeSizes().size() == 1; }));
    host_->close();
    EXPECT_EQ(test::thrown<ByteIOError>([&] { buffered->readExactly(5); }).kind(),
              ByteIOErrorKind::closed);
    EXPECT_EQ(test::thrown<ByteIOError>([&] { writing.get(); }).kind(), ByteIOErrorKind::closed);
    EXPECT_THROW(host_->open("sync:"), AdbError);
    EXPECT_EQ(failures_, 0);
    EXPECT_FALSE(host_->hasTransportFailed());
}

TEST_F(AdbStreams, ADroppedLinkEndsEveryReaderAndIsReportedOnce) {
    for (bool midMessage : {false, true}) {
        connect(withPayload(4096, okaysWithheldAfter(0)));
        failures_ = 0;
        const auto buffered = host_->open(std::string(socketName));
        const auto parked = host_->open(std::string(socketName));
        const auto writer = host_->open(std::string(socketName));
        ASSERT_TRUE(adb().sendOnStream(1, toBytes("abc")));
        ASSERT_TRUE(eventually([&] {
            return std::ranges::count(adb().received(), Command::okay, &SeenMessage::command) == 1;
        }));
        auto reading = std::async(std::launch::async, [&] { return parked->readExactly(1); });
        auto writing = std::async(std::launch::async, [&] { writer->write(toBytes("stuck")); });
        ASSERT_TRUE(eventually([&] { return writeSizes().size() == 1; }));
        midMessage ? adb().dropLinkMidMessage() : adb().dropLink();

        EXPECT_EQ(test::thrown<ByteIOError>([&] { reading.get(); }).kind(),
                  ByteIOErrorKind::endOfStream);
        EXPECT_EQ(test::thrown<ByteIOError>([&] { writing.get(); }).kind(),
                  ByteIOErrorKind::closed);
        EXPECT_EQ(buffered->readExactly(3), toBytes("abc"));
        EXPECT_EQ(test::thrown<ByteIOError>([&] { buffered->readExactly(1); }).kind(),
                  ByteIOErrorKind::endOfStream);
        EXPECT_TRUE(host_->hasTransportFailed());
        EXPECT_THROW(host_->open("sync:"), AdbError);
        EXPECT_TRUE(eventually([&] { return failures_ == 1; }));
        host_->close();
        EXPECT_EQ(failures_, 1);
        EXPECT_THAT(adb().violations(), IsEmpty());
    }
}

TEST_F(AdbStreams, ALinkDroppedMidWriteFailsTheWriter) {
    StreamFaults faults;
    faults.dropLinkAfterHostBytes = 10000;
    connect(withPayload(4096, faults));
    const auto stream = host_->open(std::string(socketName));
    EXPECT_THROW(stream->write(filled(64 * 1024, 3)), ByteIOError);
    ASSERT_TRUE(eventually([&] { return failures_ == 1; }));
    EXPECT_EQ(test::thrown<ByteIOError>([&] { stream->readExactly(1); }).kind(),
              ByteIOErrorKind::endOfStream);
}

TEST_F(AdbStreams, ASlowReaderHoldsThePhoneAtTheHighWaterMark) {
    connect();
    const auto slow = host_->open(std::string(socketName));
    const auto other = host_->open(std::string(socketName));
    constexpr std::size_t highWater = AdbConnection::receiveHighWater;
    const Bytes data = test::byteRun(3 * highWater, 7);
    ASSERT_TRUE(adb().sendOnStream(1, data));
    ASSERT_TRUE(eventually([&] {
        const auto progress = adb().progressOn(1);
        return progress->sentBytes >= highWater && progress->awaitingOkay;
    }));
    const std::uint64_t held = adb().progressOn(1)->sentBytes;
    // Another stream flows meanwhile, and its OKAY reaches the phone after any the first got.
    ASSERT_TRUE(adb().sendOnStream(2, toBytes("m")));
    EXPECT_EQ(other->readExactly(1), toBytes("m"));
    ASSERT_TRUE(eventually(
        [&] { return std::ranges::count(seen(Command::okay), 2u, &SeenMessage::arg0) == 1; }));
    EXPECT_EQ(adb().progressOn(1)->sentBytes, held);
    EXPECT_LE(held, highWater + AdbProtocolConstants::maxPayload);

    // Reading lets the phone go on, and nothing is lost on the way.
    Bytes got(data.size());
    slow->readExactly(got);
    EXPECT_EQ(got, data);
}

TEST_F(AdbStreams, AStoppedReadGivesUpAndConsumesNothing) {
    connect();
    const auto stream = host_->open(std::string(socketName));
    std::stop_source stop;
    auto reading =
        std::async(std::launch::async, [&] { return stream->readExactly(4, stop.get_token()); });
    stop.request_stop();
    ASSERT_EQ(reading.wait_for(5s), std::future_status::ready);  // bounded: a bug must not hang
    EXPECT_THROW(reading.get(), CancellationError);
    ASSERT_TRUE(adb().sendOnStream(1, toBytes("abcd")));
    EXPECT_EQ(stream->readExactly(4), toBytes("abcd"));
}

// The same phone behind the real bulk transport, on a port whose OUT side can be held.
class AdbStreamsOverUsb : public ::testing::Test {
protected:
    void connect(std::chrono::milliseconds outTimeout) {
        phone_.adb().services().acceptService(std::string(socketName));
        phone_.adb().trust(*testHostKey());
        port_ = std::make_shared<FakeUsbPort>(phone_.hostTransport(), FakeUsbPort::Options{});
        auto transport =
            UsbAdbTransport::open(FakeUsbPort::interfaceOf(port_), {7, "SER", "Phone"}, outTimeout);
        host_ = AdbConnection::create(
            transport, testHostKey(), "tester@desk", [this](std::exception_ptr) { ++failures_; },
            shortDrain());
        host_->connect({});
    }
    void TearDown() override {
        EXPECT_THAT(phone_.adb().violations(), IsEmpty());
        EXPECT_THAT(port_->violations(), IsEmpty());
    }
    std::shared_ptr<AdbStream> open() { return host_->open(std::string(socketName)); }

    FakePhone phone_;
    std::shared_ptr<FakeUsbPort> port_;
    std::shared_ptr<AdbConnection> host_;
    std::atomic<int> failures_ = 0;
};

TEST_F(AdbStreamsOverUsb, AWedgedPhoneIsDroppedLikeAPulledCable) {
    connect(20ms);
    const auto stream = open();
    port_->holdOut();
    // The writer hears why its write failed.
    EXPECT_EQ(test::thrown<UsbError>([&] { stream->write(filled(1000, 1)); }),
              UsbError::fromTransfer(UsbTransferStatus::timedOut));
    EXPECT_TRUE(host_->hasTransportFailed());
    EXPECT_TRUE(eventually([&] { return failures_ == 1; }));
    EXPECT_EQ(test::thrown<ByteIOError>([&] { stream->readExactly(1); }).kind(),
              ByteIOErrorKind::endOfStream);
}

TEST_F(AdbStreamsOverUsb, AnOpenWhoseWriteFailsHearsTheTransportsError) {
    connect(UsbAdbTransport::defaultOutTimeout);
    port_->failNext(false, UsbTransferStatus::stalled);
    EXPECT_EQ(test::thrown<UsbError>([&] { open(); }),
              UsbError::fromTransfer(UsbTransferStatus::stalled));
    // The opener may hear first; the connection then ends as for a pulled cable.
    EXPECT_TRUE(eventually([&] { return host_->hasTransportFailed() && failures_ == 1; }));
}

TEST_F(AdbStreamsOverUsb, CloseWaitsForNothingOnTheWire) {
    connect(UsbAdbTransport::defaultOutTimeout);
    const auto stream = open();
    port_->holdOut();
    auto writing = std::async(std::launch::async, [&] { stream->write(filled(1000, 1)); });
    ASSERT_TRUE(eventually([&] { return port_->heldOutTransfers() == 1; }));
    auto closing = std::async(std::launch::async, [&] { stream->close(); });
    ASSERT_EQ(closing.wait_for(5s), std::future_status::ready);  // bounded: a bug must not hang
    EXPECT_EQ(test::thrown<ByteIOError>([&] { writing.get(); }).kind(), ByteIOErrorKind::closed);
    EXPECT_EQ(port_->heldOutTransfers(), 1u);  // both returned with the transfer still wedged
    // Once the phone takes data again, the CLSE follows what was under way.
    port_->allowOut(100);
    EXPECT_TRUE(eventually([&] { return phone_.adb().openStreamCount() == 0; }));
    EXPECT_FALSE(host_->hasTransportFailed());
}

TEST_F(AdbStreamsOverUsb, OkaysGoOutAheadOfAPushStuckOnTheWire) {
    connect(UsbAdbTransport::defaultOutTimeout);
    const auto pushed = open();
    const auto first = open();
    const auto second = open();
    port_->holdOut();
    auto pushing = std::async(std::launch::async, [&] {
        pushed->write(filled(3 * AdbProtocolConstants::maxPayload, 5));
    });
    ASSERT_TRUE(eventually([&] { return port_->heldOutTransfers() == 1; }));
    // The reader goes on while the wire is taken: every stream's data still arrives.
    ASSERT_TRUE(phone_.adb().sendOnStream(2, toBytes("a")));
    ASSERT_TRUE(phone_.adb().sendOnStream(3, toBytes("b")));
    EXPECT_EQ(first->readExactly(1), toBytes("a"));
    EXPECT_EQ(second->readExactly(1), toBytes("b"));

    port_->allowOut(1000);
    pushing.get();
    std::vector<SeenMessage> afterOpens = phone_.adb().received();
    std::erase_if(afterOpens, [](const SeenMessage& m) {
        return m.command != Command::wrte && m.command != Command::okay;
    });
    constexpr std::size_t chunk = AdbProtocolConstants::maxPayload;
    EXPECT_THAT(afterOpens, ElementsAre(SeenMessage{Command::wrte, 1, 0x100, chunk},
                                        SeenMessage{Command::okay, 2, 0x101, 0},
                                        SeenMessage{Command::okay, 3, 0x102, 0},
                                        SeenMessage{Command::wrte, 1, 0x100, chunk},
                                        SeenMessage{Command::wrte, 1, 0x100, chunk}));
}

// A phone played by hand over a bare link, for what the fake phone never sends.
class HandPlayedPhone {
public:
    explicit HandPlayedPhone(AdbConnectionTimings timings = shortDrain())
        : link_(MemoryPacketTransport::makePair()) {
        host = AdbConnection::create(link_.first, testHostKey(), "tester@desk", {}, timings);
        auto connected = std::async(std::launch::async, [&] { host->connect({}); });
        read();  // CNXN
        phone().write(AdbMessage(Command::auth, AdbMessage::authToken, 0, Bytes(20, 1)));
        read();  // signature
        phone().write(AdbMessage(Command::cnxn, AdbProtocolConstants::version, 4096,
                                 toBytes("device::features=cmd")));
        connected.get();
    }

    MemoryPacketTransport& phone() { return *link_.second; }
    AdbMessage read() { return link_.second->read(); }
    // True when the host sent nothing for a while.
    bool hostIsQuiet() {
        const std::size_t before = phone().drainedByteCount();
        phone().drainPending(30ms);
        return phone().drainedByteCount() == before;
    }

    std::shared_ptr<AdbConnection> host;

private:
    std::pair<std::shared_ptr<MemoryPacketTransport>, std::shared_ptr<MemoryPacketTransport>> link_;
};

TEST(AdbStreamsByHand, PhoneMessagesThatNeedNoAnswerGetNone) {
    HandPlayedPhone hand;
    hand.phone().write(AdbMessage(Command::open, 7, 0, toBytes("shell:\0")));
    hand.phone().write(AdbMessage(Command::cnxn, 1, 4096, toBytes("device::")));
    hand.phone().write(AdbMessage(Command::auth, 1, 0, Bytes(20, 2)));
    hand.phone().write(AdbMessage(Command::stls, 1, 0));
    hand.phone().write(AdbMessage(Command::wrte, 9, 42, toBytes("for nobody")));
    hand.phone().write(AdbMessage(Command::okay, 9, 42));
    hand.phone().write(AdbMessage(Command::clse, 9, 42));
    EXPECT_TRUE(hand.hostIsQuiet());
    EXPECT_FALSE(hand.host->hasTransportFailed());

    // The connection still works.
    auto opened = std::async(std::launch::async, [&] { return hand.host->open("sync:"); });
    EXPECT_EQ(hand.read(),
              AdbMessage(Command::open, 1, 0, toBytes(std::string_view("sync:\0", 6))));
    hand.phone().write(AdbMessage(Command::okay, 77, 1));
    // Data naming another phone stream, or none, is not this stream's.
    hand.phone().write(AdbMessage(Command::wrte, 78, 1, toBytes("no")));
    hand.phone().write(AdbMessage(Command::wrte, 0, 1, toBytes("no")));
    hand.phone().write(AdbMessage(Command::wrte, 77, 1, toBytes("hi")));
    const auto stream = opened.get();
    EXPECT_EQ(stream->readExactly(2), toBytes("hi"));
    EXPECT_EQ(hand.read(), AdbMessage(Command::okay, 1, 77));
    EXPECT_TRUE(hand.hostIsQuiet());
}

TEST(AdbStreamsByHand, APhoneThatSendsPastAWithheldOkayEndsTheLink) {
    HandPlayedPhone hand;
    auto opened = std::async(std::launch::async, [&] { return hand.host->open("sync:"); });
    hand.read();
    hand.phone().write(AdbMessage(Command::okay, 5, 1));
    const auto unread = opened.get();
    const Bytes payload(AdbProtocolConstants::maxPayload, 1);
    try {
        for (std::size_t sent = 0; sent < 3 * AdbConnection::receiveHighWater;
             sent += payload.size()) {
            hand.phone().write(AdbMessage(Command::wrte, 5, 1, payload));
        }
    } catch (const ByteIOError&) {
        // The host hung up on it.
    }
    ASSERT_TRUE(eventually([&] { return hand.host->hasTransportFailed(); }));
    EXPECT_LE(unread->readToEnd().size(),
              AdbConnection::receiveHighWater + AdbProtocolConstants::maxPayload);
}

std::ptrdiff_t strayWarningsSince(std::chrono::system_clock::time_point start) {
    return std::ranges::count_if(Log::recentEntries(), [&](const LogEntry& entry) {
        return entry.time >= start &&
               entry.message.find("whose peer it is not") != std::string::npos;
    });
}

TEST(AdbStreamsByHand, StaleOkaysGrantNoWrite) {
    const auto start = std::chrono::system_clock::now();
    HandPlayedPhone hand;
    auto opened = std::async(std::launch::async, [&] { return hand.host->open("sync:"); });
    hand.read();
    hand.phone().write(AdbMessage(Command::okay, 5, 1));
    const auto stream = opened.get();
    // Data read after the OKAYs shows that the reader has taken them.
    const auto okaysTaken = [&](std::string_view data) {
        hand.phone().write(AdbMessage(Command::wrte, 5, 1, toBytes(data)));
        EXPECT_EQ(stream->readExactly(data.size()), toBytes(data));
        EXPECT_EQ(hand.read(), AdbMessage(Command::okay, 1, 5));
    };
    hand.phone().write(AdbMessage(Command::okay, 5, 1));  // unsolicited, on an idle stream
    okaysTaken("z");
    auto writing = std::async(std::launch::async, [&] { stream->write(toBytes("a")); });
    EXPECT_EQ(hand.read(), AdbMessage(Command::wrte, 1, 5, toBytes("a")));
    hand.phone().write(AdbMessage(Command::okay, 0, 1));
    hand.phone().write(AdbMessage(Command::okay, 6, 1));
    okaysTaken("y");
    EXPECT_EQ(writing.wait_for(0s), std::future_status::timeout);
    hand.phone().write(AdbMessage(Command::okay, 5, 1));
    writing.get();
    EXPECT_EQ(strayWarningsSince(start), 1);  // two strays, told once
}

TEST(AdbStreamsByHand, AnUnansweredOpenGivesUpAndItsLateStreamIsClosed) {
    for (const bool stopped : {false, true}) {
        AdbConnectionTimings timings = shortDrain();
        if (!stopped) {
            timings.openTimeout = 1ms;
        }
        HandPlayedPhone hand(timings);
        std::stop_source stop;
        auto opening = std::async(std::launch::async,
                                  [&] { return hand.host->open("sync:", stop.get_token()); });
        EXPECT_EQ(hand.read().command, Command::open);
        if (stopped) {
            stop.request_stop();
        }
        ASSERT_EQ(opening.wait_for(5s), std::future_status::ready);  // bounded: a bug must not hang
        if (stopped) {
            EXPECT_THROW(opening.get(), CancellationError);
        } else {
            EXPECT_EQ(test::thrown<AdbError>([&] { opening.get(); }).kind(),
                      AdbErrorKind::timedOut);
        }
        hand.phone().write(AdbMessage(Command::okay, 9, 1));
        EXPECT_EQ(hand.read(), AdbMessage(Command::clse, 1, 9));
    }
}

TEST(AdbStreamsByHand, ASyncFailureLengthIsBoundedBeforeItIsRead) {
    HandPlayedPhone hand;
    auto pushed =
        std::async(std::launch::async, [&] { hand.host->push(toBytes("x"), "/data/x", 0644, 0); });
    EXPECT_EQ(hand.read().command, Command::open);
    hand.phone().write(AdbMessage(Command::okay, 9, 1));
    EXPECT_EQ(hand.read().payload, SyncProtocol::sendFile(toBytes("x"), "/data/x", 0644, 0));
    hand.phone().write(AdbMessage(Command::okay, 9, 1));
    const auto fail = SyncProtocol::request("FAIL", 0x7FFFFFFF);
    hand.phone().write(AdbMessage(Command::wrte, 9, 1, Bytes(fail.begin(), fail.end())));
    try {
        pushed.get();
        ADD_FAILURE() << "pushed";
    } catch (const AdbError& error) {
        EXPECT_EQ(error, AdbError::protocolViolation("sync failure text of 2147483647 bytes"));
    }
    // The FAIL is acknowledged unless the push closed the stream first.
    AdbMessage last = hand.read();
    if (last == AdbMessage(Command::okay, 1, 9)) {
        last = hand.read();
    }
    EXPECT_EQ(last, AdbMessage(Command::clse, 1, 9));
    EXPECT_TRUE(hand.hostIsQuiet());
}

}  // namespace
}  // namespace qm::test
