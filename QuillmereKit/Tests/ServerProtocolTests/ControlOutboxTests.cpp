#include <atomic>
#include <future>
#include <thread>

#include <gtest/gtest.h>

#include "QuillmereCore/BinaryWriter.h"
#include "ServerProtocol/ControlMessageEncoder.h"
#include "ServerProtocol/ControlOutbox.h"
#include "Support/Hex.h"
#include "Support/Waiting.h"

namespace qm {
namespace {

using Batch = ControlOutbox::Batch;

InjectTouch touch(MotionAction action, std::uint64_t pointer, std::int32_t x = 0) {
    return InjectTouch{action, pointer, {x, 0, 100, 100}, 1.0f, 0, 0};
}
InjectTouch move(std::uint64_t pointer, std::int32_t x) {
    return touch(MotionAction::move, pointer, x);
}
const ControlMessage key = InjectKeycode{KeyAction::down, 66, 0, 0};

Batch coalesced(Batch batch) {
    ControlOutbox::coalesce(batch);
    return batch;
}

// Runs next() on another thread; the future resolves with the batch, or nullopt at the end.
std::future<std::optional<Batch>> nextAsync(ControlOutbox& outbox, std::stop_token stop = {}) {
    return std::async(std::launch::async, [&outbox, stop] {
        Batch batch;
        return outbox.next(batch, stop) ? std::optional(batch) : std::nullopt;
    });
}

bool stillWaiting(std::future<std::optional<Batch>>& future) {
    return future.wait_for(std::chrono::milliseconds(20)) == std::future_status::timeout;
}

TEST(ControlOutbox, SendWakesAWaitingWriterWithThatMessage) {
    ControlOutbox outbox;
    auto writer = nextAsync(outbox);
    ASSERT_TRUE(stillWaiting(writer));
    outbox.send(key);
    EXPECT_EQ(writer.get(), Batch{key});
}

TEST(ControlOutbox, HandsOverEverythingPendingAsOneBatchInOrder) {
    ControlOutbox outbox;
    outbox.send(key);
    outbox.send(move(1, 5));
    outbox.send(ResetVideo{});
    Batch batch;
    ASSERT_TRUE(outbox.next(batch));
    EXPECT_EQ(batch, (Batch{key, move(1, 5), ResetVideo{}}));

    auto second = nextAsync(outbox);
    EXPECT_TRUE(stillWaiting(second));
    outbox.finish();
    EXPECT_EQ(second.get(), std::nullopt);
}

TEST(ControlOutbox, FinishDrainsWhatWasSentAndDropsWhatFollows) {
    ControlOutbox outbox;
    outbox.send(key);
    outbox.send(ResetVideo{});
    outbox.finish();
    outbox.send(SetDisplayPower{true});
    Batch batch{key};
    ASSERT_TRUE(outbox.next(batch));
    EXPECT_EQ(batch, (Batch{key, ResetVideo{}}));
    EXPECT_FALSE(outbox.next(batch));
    EXPECT_TRUE(batch.empty());
    EXPECT_FALSE(outbox.next(batch));
}

TEST(ControlOutbox, AFailedWriteEndsTheWriterAndLaterInputIsDropped) {
    struct BrokenSocket final : ByteSink {
        void write(ByteView) override { throw ByteIOError::closed(); }
    } socket;
    ControlOutbox outbox;
    outbox.send(key);
    EXPECT_THROW(outbox.writeAll(socket), ByteIOError);
    EXPECT_TRUE(outbox.waitWritten(std::chrono::milliseconds(0)));
    outbox.send(ResetVideo{});
    Batch batch;
    EXPECT_FALSE(outbox.next(batch));
}

// A teardown waits for what was sent to go out, but not on a phone that takes nothing.
TEST(ControlOutbox, WaitWrittenEndsWithTheWriterOrAtItsLimit) {
    struct SlowSocket final : ByteSink {
        std::promise<void> taken;
        std::shared_future<void> through = taken.get_future().share();
        void write(ByteView) override { through.wait(); }
    } socket;
    ControlOutbox outbox;
    outbox.send(key);
    outbox.finish();
    std::jthread writer([&] { outbox.writeAll(socket); });
    EXPECT_FALSE(outbox.waitWritten(std::chrono::milliseconds(1)));
    socket.taken.set_value();
    EXPECT_TRUE(outbox.waitWritten(std::chrono::seconds(60)));
}

TEST(ControlOutbox, StopReleasesAWaitingWriter) {
    ControlOutbox outbox;
    std::stop_source stop;
    auto writer = nextAsync(outbox, stop.get_token());
    ASSERT_TRUE(stillWaiting(writer));
    stop.request_stop();
    EXPECT_EQ(writer.get(), std::nullopt);
}

TEST(ControlOutbox, ManyProducersLoseNothingAndKeepEachProducersOrder) {
    constexpr int producers = 4;
    constexpr int perProducer = 2000;
    ControlOutbox outbox(producers * perProducer);
    std::vector<ControlMessage> received;
    std::jthread writer([&] {
        Batch batch;
        while (outbox.next(batch)) {
            received.insert(received.end(), batch.begin(), batch.end());
        }
    });
    {
        std::vector<std::jthread> threads;
        for (int p = 0; p < producers; ++p) {
            threads.emplace_back([&outbox, p] {
                for (int i = 0; i < perProducer; ++i) {
                    outbox.send(InjectKeycode{KeyAction::down, p, i, 0});
                }
            });
        }
    }
    outbox.finish();
    writer.join();
    ASSERT_EQ(received.size(), std::size_t{producers * perProducer});
    std::vector<int> nextIndex(producers, 0);
    for (const auto& message : received) {
        const auto& k = std::get<InjectKeycode>(message);
        EXPECT_EQ(k.repeatCount, nextIndex[static_cast<std::size_t>(k.keycode)]++);
    }
}

TEST(ControlOutbox, PastItsLimitMovesMergeAndThenTheSocketCountsAsWedgedOnce) {
    int wedged = 0;
    ControlOutbox outbox(3, [&] { ++wedged; });
    for (const ControlMessage& message : Batch{move(1, 1), key, move(1, 2), move(2, 5)}) {
        outbox.send(message);
    }
    Batch batch;
    ASSERT_TRUE(outbox.next(batch));
    EXPECT_EQ(batch, (Batch{key, move(1, 2), move(2, 5)}));

    for (int i = 0; i < 3; ++i) {
        outbox.send(key);
    }
    EXPECT_EQ(wedged, 0);  // exactly at the limit
    outbox.send(key);
    outbox.send(key);
    EXPECT_EQ(wedged, 1);
    EXPECT_FALSE(outbox.next(batch));
}

TEST(ControlOutbox, CoalescesRunsOfMovesOfOnePointer) {
    EXPECT_EQ(coalesced({move(1, 1), move(1, 2)}), (Batch{move(1, 2)}));
    // Another message between two moves does not keep the earlier one.
    EXPECT_EQ(coalesced({move(1, 1), key, move(1, 2)}), (Batch{key, move(1, 2)}));
    EXPECT_EQ(coalesced({move(1, 1), move(2, 9), move(1, 2)}), (Batch{move(2, 9), move(1, 2)}));
    EXPECT_EQ(coalesced({touch(MotionAction::down, 1), move(1, 1), move(1, 2),
                         touch(MotionAction::up, 1)}),
              (Batch{touch(MotionAction::down, 1), move(1, 2), touch(MotionAction::up, 1)}));
    EXPECT_EQ(coalesced({move(1, 1), move(1, 2), move(1, 3), move(1, 4)}), (Batch{move(1, 4)}));
}

TEST(ControlOutbox, PressOrReleaseEndsARunOfMoves) {
    const Batch released{move(1, 1), touch(MotionAction::up, 1), move(1, 2)};
    EXPECT_EQ(coalesced(released), released);
    // The press of another pointer does not interrupt pointer 1's run.
    EXPECT_EQ(coalesced({move(1, 1), touch(MotionAction::down, 2), move(1, 2)}),
              (Batch{touch(MotionAction::down, 2), move(1, 2)}));
    EXPECT_EQ(
        coalesced({move(1, 1), move(1, 2), touch(MotionAction::down, 1), move(1, 3), move(1, 4)}),
        (Batch{move(1, 2), touch(MotionAction::down, 1), move(1, 4)}));
    EXPECT_EQ(coalesced({key}), Batch{key});
    EXPECT_EQ(coalesced({}), Batch{});
}

TEST(ControlOutbox, EncodesBatchesBackToBackLeavingOutWhatCannotBeEncoded) {
    EXPECT_TRUE(ControlOutbox::encode(Batch{}).empty());
    EXPECT_EQ(ControlOutbox::encode(Batch{ResetVideo{}, UhidDestroy{2}}), test::hex("11 0E 0002"));
    const Batch withOversized{ResetVideo{}, UhidInput{1, Bytes(70000, 0)}, UhidDestroy{2}};
    EXPECT_EQ(ControlOutbox::encode(withOversized), test::hex("11 0E 0002"));
}

}  // namespace
}  // namespace qm
