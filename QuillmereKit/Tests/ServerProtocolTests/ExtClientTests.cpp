#include <algorithm>
#include <condition_variable>
#include <future>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "QuillmereCore/DataByteSource.h"
#include "QuillmereCore/Log.h"
#include "QuillmereCore/MemoryByteChannel.h"
#include "ServerProtocol/ExtClient.h"
#include "ServerProtocol/ExtCodec.h"
#include "Support/VirtualClock.h"
#include "Support/Waiting.h"

namespace qm {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::StartsWith;

// A memory channel whose writes can be held at a gate, or fail.
class GatedChannel final : public ByteChannel {
public:
    MemoryByteChannel inner;

    void holdWrites() {
        std::lock_guard lock(mutex_);
        held_ = true;
    }
    void releaseWrites() {
        {
            std::lock_guard lock(mutex_);
            held_ = false;
        }
        changed_.notify_all();
    }
    void failWrites() {
        std::lock_guard lock(mutex_);
        failing_ = true;
    }
    std::size_t writesStarted() const {
        std::lock_guard lock(mutex_);
        return started_;
    }
    std::size_t closeCount() const {
        std::lock_guard lock(mutex_);
        return closes_;
    }

    void write(ByteView data) override {
        std::unique_lock lock(mutex_);
        ++started_;
        if (failing_) {
            throw ByteIOError::endOfStream();
        }
        changed_.wait(lock, [this] { return !held_; });
        lock.unlock();
        inner.write(data);
    }
    void close() noexcept override {
        inner.close();
        {
            std::lock_guard lock(mutex_);
            ++closes_;
            held_ = false;
        }
        changed_.notify_all();
    }

protected:
    void readInto(std::span<std::uint8_t> into, std::stop_token stop) override {
        inner.readExactly(into, std::move(stop));
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool held_ = false;
    bool failing_ = false;
    std::size_t started_ = 0;
    std::size_t closes_ = 0;
};

// Every frame written so far, decoded.
std::vector<ExtMessage> sentMessages(const MemoryByteChannel& channel) {
    DataByteSource source(channel.written());
    std::vector<ExtMessage> out;
    while (source.remaining() > 0) {
        out.push_back(ExtCodec::next(source));
    }
    return out;
}

TaskClock countingClock() {
    auto ticks = std::make_shared<std::uint64_t>(0);
    return {.nowNanos = [ticks] { return *ticks += 10; }};
}

class ExtClientTest : public ::testing::Test {
protected:
    std::shared_ptr<GatedChannel> channel_ = std::make_shared<GatedChannel>();
    ExtClient client_{channel_};

    void reply(const ExtMessage& message) { channel_->inner.feed(ExtCodec::encode(message)); }
};

TEST_F(ExtClientTest, HandshakeTakesThePhoneClocksAndBracketsThemWithOurs) {
    reply(ext::HelloAck{2, 123456789, 1700000000123});
    const ExtHello hello = client_.handshake(5s, countingClock());
    EXPECT_EQ(hello, (ExtHello{2, 123456789, 1700000000123, 10, 20}));
    ASSERT_TRUE(test::eventually([&] { return !channel_->inner.written().empty(); }));
    EXPECT_EQ(sentMessages(channel_->inner), std::vector<ExtMessage>{ext::Hello{2}});
}

TEST_F(ExtClientTest, HandshakeTellsTheWrongRepliesApart) {
    reply(ext::HelloAck{3, 0, 0});
    try {
        client_.handshake(5s);
        ADD_FAILURE() << "accepted version 3";
    } catch (const ExtClientError& error) {
        EXPECT_EQ(error.kind(), ExtClientErrorKind::versionMismatch);
        EXPECT_EQ(error.serverVersion(), 3);
    }
    reply(ext::Error{"extension disabled"});
    EXPECT_EQ(
        [&] {
            try {
                client_.handshake(5s);
            } catch (const ExtClientError& error) {
                return error;
            }
            return ExtClientError::timeout();
        }(),
        ExtClientError::serverError("extension disabled"));
    reply(ext::Pong{1, 2});
    try {
        client_.handshake(5s);
        ADD_FAILURE() << "accepted a pong";
    } catch (const ExtClientError& error) {
        EXPECT_EQ(error.kind(), ExtClientErrorKind::unexpected);
        EXPECT_THAT(error.what(), StartsWith("expected helloAck, got pong("));
    }
}

TEST_F(ExtClientTest, SilentPhoneTimesOutWithTheChannelClosed) {
    test::VirtualClock clock(0, 0);  // the time-out comes once the hello is out
    auto handshake =
        std::async(std::launch::async, [&] { return client_.handshake(30ms, clock.taskClock()); });
    EXPECT_TRUE(
        test::eventually([&] { return clock.parked() && !channel_->inner.written().empty(); }));
    clock.parkAt(std::nullopt);
    try {
        handshake.get();
        ADD_FAILURE() << "no time-out";
    } catch (const ExtClientError& error) {
        EXPECT_EQ(error.kind(), ExtClientErrorKind::timeout);
    }
    EXPECT_THAT(clock.sleeps(), ElementsAre(30ms));
    EXPECT_GE(channel_->closeCount(), 1u);
    EXPECT_FALSE(client_.isClosed());  // closing the client is the caller's part
}

TEST_F(ExtClientTest, ChannelEndBeforeTheTimeOutIsTheChannelsError) {
    channel_->inner.finish();
    try {
        client_.handshake(10s);
        ADD_FAILURE() << "no failure";
    } catch (const ByteIOError& error) {
        EXPECT_EQ(error.kind(), ByteIOErrorKind::endOfStream);
    }
    reply(ext::HelloAck{2, 0, 0});
}

TEST_F(ExtClientTest, ClosedClientSendsNothingAndClosesAgainHarmlessly) {
    client_.close();
    EXPECT_TRUE(client_.isClosed());
    client_.send(ext::Ping{1});
    EXPECT_THROW(client_.handshake(1s), ByteIOError);
    client_.close();
    EXPECT_EQ(channel_->closeCount(), 2u);
    EXPECT_EQ(channel_->writesStarted(), 0u);
}

TEST_F(ExtClientTest, FailedWriteIsLoggedOnceAndStopsTheClient) {
    auto failures = [] {
        const auto entries = Log::recentEntries();
        return std::count_if(entries.begin(), entries.end(), [](const LogEntry& entry) {
            return entry.category == "ext" && entry.message.starts_with("ext write failed: ");
        });
    };
    const auto before = failures();
    channel_->failWrites();
    client_.send(ext::Ping{1});
    ASSERT_TRUE(test::eventually([&] { return client_.isClosed(); }));
    client_.send(ext::Ping{2});
    client_.send(ext::Ping{3});
    EXPECT_EQ(failures(), before + 1);
    EXPECT_EQ(channel_->writesStarted(), 1u);
    // The read side is untouched.
    reply(ext::Pong{7, 8});
    EXPECT_EQ(client_.next(), ExtMessage(ext::Pong{7, 8}));
}

class ExtClientQueue : public ExtClientTest, public ::testing::WithParamInterface<int> {};

// The writer holds ping 1 at a blocked write while the rest queue up behind it.
TEST_P(ExtClientQueue, BacklogKeepsTheNewestSixtyFourFrames) {
    const int count = GetParam();
    channel_->holdWrites();
    client_.send(ext::Ping{1});
    ASSERT_TRUE(test::eventually([&] { return channel_->writesStarted() == 1; }));
    for (int i = 2; i <= count; ++i) {
        client_.send(ext::Ping{static_cast<std::uint64_t>(i)});
    }
    channel_->releaseWrites();

    // Built element by element: GCC 12 at -O2 misreads a braced list of variants as uninitialised.
    std::vector<ExtMessage> expected;
    expected.emplace_back(ext::Ping{1});
    for (int i = count - 63; i <= count; ++i) {
        expected.emplace_back(ext::Ping{static_cast<std::uint64_t>(i)});
    }
    const std::size_t frameSize = ExtCodec::encode(ext::Ping{}).size();
    ASSERT_TRUE(test::eventually(
        [&] { return channel_->inner.written().size() == expected.size() * frameSize; }));
    EXPECT_THAT(sentMessages(channel_->inner), ElementsAreArray(expected));
}

INSTANTIATE_TEST_SUITE_P(ExtClient, ExtClientQueue, ::testing::Values(65, 66, 200));

}  // namespace
}  // namespace qm
