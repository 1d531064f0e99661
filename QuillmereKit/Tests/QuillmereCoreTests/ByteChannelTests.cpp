#include <atomic>
#include <future>
#include <thread>

#include <gtest/gtest.h>

#include "QuillmereCore/ByteQueue.h"
#include "QuillmereCore/DataByteSource.h"
#include "QuillmereCore/MemoryByteChannel.h"
#include "Support/Expect.h"
#include "Support/Waiting.h"

namespace qm {
namespace {

using test::eventually;

// Starts a reader on its own thread and waits until it has parked behind `parkedBefore` others.
std::future<Bytes> parkReader(MemoryByteChannel& channel, std::size_t count,
                              std::stop_token stop = {}) {
    const std::size_t before = channel.parkedReaderCount();
    auto result = std::async(std::launch::async,
                             [&channel, count, stop] { return channel.readExactly(count, stop); });
    EXPECT_TRUE(eventually([&] { return channel.parkedReaderCount() == before + 1; }));
    return result;
}

TEST(DataByteSource, ReadsInOrderAndFailsPastTheEndWithoutMoving) {
    DataByteSource source(test::byteRun(10));
    EXPECT_EQ(source.readExactly(4), test::byteRun(4));
    EXPECT_EQ(test::thrown<ByteIOError>([&] { source.readExactly(7); }).kind(),
              ByteIOErrorKind::endOfStream);
    EXPECT_EQ(source.remaining(), 6u);
    EXPECT_EQ(source.readExactly(6), test::byteRun(6, 4));
    EXPECT_EQ(test::thrown<ByteIOError>([&] { source.readExactly(1); }).kind(),
              ByteIOErrorKind::endOfStream);
    EXPECT_TRUE(source.readExactly(0).empty());
}

TEST(DataByteSource, SliceOfALargerBufferStartsAtItsFirstByte) {
    const Bytes whole = test::byteRun(20);
    DataByteSource source(Bytes(whole.begin() + 5, whole.begin() + 9));
    EXPECT_EQ(source.readExactly(4), test::byteRun(4, 5));
}

TEST(ByteQueue, AReadOfExactlyOneChunkTakesItWithoutACopy) {
    ByteQueue queue;
    ByteSource& source = queue;  // as a demultiplexer reads it
    Bytes chunk = test::byteRun(100);
    const std::uint8_t* const storage = chunk.data();
    queue.feed(std::move(chunk));
    queue.feed(test::byteRun(10, 100));
    EXPECT_EQ(source.readExactly(100).data(), storage);
    EXPECT_EQ(source.readExactly(4), test::byteRun(4, 100));
    queue.feed(test::byteRun(10, 110));
    EXPECT_EQ(source.readExactly(16), test::byteRun(16, 104));  // across chunks
}

TEST(ByteQueue, ReadToEndWaitsForTheEndAndCloseWinsOverIt) {
    ByteQueue queue;
    auto all = std::async(std::launch::async, [&] { return queue.readToEnd(); });
    ASSERT_TRUE(eventually([&] { return queue.parkedReaderCount() == 1; }));
    queue.feed(test::byteRun(3));
    queue.feed(test::byteRun(2, 3));
    queue.finish();
    EXPECT_EQ(all.get(), test::byteRun(5));

    ByteQueue ended;
    ended.feed(test::byteRun(4));
    ended.finish();
    ended.close();  // nothing read after this, not even what came before the end
    EXPECT_EQ(test::thrown<ByteIOError>([&] { ended.readToEnd(); }).kind(),
              ByteIOErrorKind::closed);
}

TEST(ByteQueue, HoldsTheProducerBackUntilTheReaderCatchesUpOrWaitsForMore) {
    ByteQueue queue;
    std::atomic<int> resumed = 0;
    queue.holdBackAbove(10, [&] { ++resumed; });
    EXPECT_TRUE(queue.feed(test::byteRun(6)));
    EXPECT_FALSE(queue.feed(test::byteRun(4)));  // exactly at the mark
    EXPECT_FALSE(queue.feed(test::byteRun(2)));
    EXPECT_EQ(queue.readExactly(2).size(), 2u);  // still at the mark
    EXPECT_EQ(resumed, 0);
    EXPECT_EQ(queue.readExactly(1).size(), 1u);
    EXPECT_EQ(resumed, 1);

    EXPECT_FALSE(queue.feed(test::byteRun(6)));  // 15 unread
    // A reader wanting more than there is lets the producer go on, and is not held back.
    auto large = std::async(std::launch::async, [&] { return queue.readExactly(30); });
    ASSERT_TRUE(eventually([&] { return resumed == 2; }));
    EXPECT_TRUE(queue.feed(test::byteRun(10)));
    EXPECT_TRUE(queue.feed(test::byteRun(10)));
    EXPECT_EQ(large.get().size(), 30u);
    EXPECT_EQ(resumed, 2);
}

TEST(MemoryByteChannel, ImmediateReadsTakeFromTheFrontAndKeepTheRest) {
    MemoryByteChannel channel;
    channel.feed(test::byteRun(6));
    EXPECT_EQ(channel.readExactly(2), test::byteRun(2));
    std::array<std::uint8_t, 3> into{};
    channel.readExactly(into);
    EXPECT_EQ(Bytes(into.begin(), into.end()), test::byteRun(3, 2));
    EXPECT_EQ(channel.readExactly(1), test::byteRun(1, 5));
}

TEST(MemoryByteChannel, ParkedReadersAreServedStrictlyInArrivalOrder) {
    MemoryByteChannel channel;
    auto first = parkReader(channel, 4);
    auto second = parkReader(channel, 2);

    channel.feed(test::byteRun(3));
    // The second reader's 2 bytes are there, but it must wait behind the first.
    EXPECT_EQ(first.wait_for(std::chrono::milliseconds(20)), std::future_status::timeout);
    EXPECT_EQ(channel.parkedReaderCount(), 2u);

    channel.feed(test::byteRun(1, 3));
    EXPECT_EQ(first.get(), test::byteRun(4));
    EXPECT_EQ(channel.parkedReaderCount(), 1u);

    channel.feed(test::byteRun(2, 4));
    EXPECT_EQ(second.get(), test::byteRun(2, 4));
}

TEST(MemoryByteChannel, FinishFailsTooLargeReadersButServesSmallerOnesBehindThem) {
    MemoryByteChannel channel;
    auto large = parkReader(channel, 10);
    auto small = parkReader(channel, 3);
    channel.feed(test::byteRun(5));
    channel.finish();
    EXPECT_EQ(test::thrown<ByteIOError>([&] { large.get(); }).kind(), ByteIOErrorKind::endOfStream);
    EXPECT_EQ(small.get(), test::byteRun(3));
    // What is left stays readable; a read past it fails.
    EXPECT_EQ(channel.readExactly(2), test::byteRun(2, 3));
    EXPECT_EQ(test::thrown<ByteIOError>([&] { channel.readExactly(1); }).kind(),
              ByteIOErrorKind::endOfStream);
    EXPECT_TRUE(channel.readExactly(0).empty());
}

TEST(MemoryByteChannel, FeedAfterFinishIsIgnoredAndWritingStillWorks) {
    MemoryByteChannel channel;
    channel.feed(test::byteRun(2));
    channel.finish();
    channel.feed(test::byteRun(5));
    EXPECT_EQ(test::thrown<ByteIOError>([&] { channel.readExactly(3); }).kind(),
              ByteIOErrorKind::endOfStream);
    channel.write(test::byteRun(3));
    EXPECT_EQ(channel.written(), test::byteRun(3));
}

TEST(MemoryByteChannel, CloseFromAnotherThreadReleasesEveryParkedReader) {
    MemoryByteChannel channel;
    channel.write(test::byteRun(2));
    auto first = parkReader(channel, 4);
    auto second = parkReader(channel, 1);

    std::thread([&] { channel.close(); }).join();

    EXPECT_EQ(test::thrown<ByteIOError>([&] { first.get(); }).kind(), ByteIOErrorKind::closed);
    EXPECT_EQ(test::thrown<ByteIOError>([&] { second.get(); }).kind(), ByteIOErrorKind::closed);
    channel.feed(test::byteRun(4));
    EXPECT_EQ(test::thrown<ByteIOError>([&] { channel.readExactly(0); }).kind(),
              ByteIOErrorKind::closed);
    EXPECT_EQ(test::thrown<ByteIOError>([&] { channel.write(test::byteRun(1)); }).kind(),
              ByteIOErrorKind::closed);
    EXPECT_EQ(channel.written(), test::byteRun(2));
    channel.finish();
    channel.close();
}

TEST(MemoryByteChannel, CloseDiscardsUnreadInput) {
    MemoryByteChannel channel;
    channel.feed(test::byteRun(8));
    channel.close();
    EXPECT_EQ(test::thrown<ByteIOError>([&] { channel.readExactly(1); }).kind(),
              ByteIOErrorKind::closed);
}

TEST(MemoryByteChannel, CancellingAParkedReaderLetsTheOneBehindItMoveUp) {
    MemoryByteChannel channel;
    std::stop_source firstStop;
    auto first = parkReader(channel, 10, firstStop.get_token());
    auto second = parkReader(channel, 3);
    channel.feed(test::byteRun(4));
    EXPECT_EQ(second.wait_for(std::chrono::milliseconds(20)), std::future_status::timeout);

    firstStop.request_stop();
    EXPECT_THROW(first.get(), CancellationError);
    EXPECT_EQ(second.get(), test::byteRun(3));
    EXPECT_EQ(channel.parkedReaderCount(), 0u);
    EXPECT_EQ(channel.readExactly(1), test::byteRun(1, 3));
}

TEST(MemoryByteChannel, AReadInAnAlreadyStoppedTaskFailsWithoutParking) {
    MemoryByteChannel channel;
    channel.feed(test::byteRun(4));
    std::stop_source stop;
    stop.request_stop();
    EXPECT_THROW(channel.readExactly(2, stop.get_token()), CancellationError);
    EXPECT_EQ(channel.parkedReaderCount(), 0u);
    EXPECT_EQ(channel.readExactly(4), test::byteRun(4));
}

TEST(MemoryByteChannel, ManyThreadsFeedingAndReadingLoseNoByte) {
    MemoryByteChannel channel;
    constexpr std::size_t total = 200'000;
    std::thread feeder([&] {
        const Bytes all = test::byteRun(total);
        for (std::size_t at = 0; at < total; at += 977) {
            channel.feed(ByteView(all).subspan(at, std::min<std::size_t>(977, total - at)));
        }
        channel.finish();
    });
    Bytes got;
    try {
        for (;;) {
            Bytes piece = channel.readExactly(1000);
            got.insert(got.end(), piece.begin(), piece.end());
        }
    } catch (const ByteIOError& e) {
        EXPECT_EQ(e.kind(), ByteIOErrorKind::endOfStream);
    }
    feeder.join();
    ASSERT_EQ(got.size(), total);
    EXPECT_EQ(got, test::byteRun(total));
}

}  // namespace
}  // namespace qm
