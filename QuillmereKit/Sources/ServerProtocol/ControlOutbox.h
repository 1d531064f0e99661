#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <span>
#include <stop_token>
#include <vector>

#include "QuillmereCore/BinaryWriter.h"
#include "QuillmereCore/ByteChannel.h"
#include "QuillmereCore/ControlMessage.h"
#include "QuillmereCore/TaskClock.h"

namespace qm {

// Between the many threads that produce input and the one task that writes the control socket.
// Producers never wait; the writer takes everything sent since its last call as one batch, so a
// slow socket makes batches grow instead of queueing stale pointer positions one by one. Past
// `limit` queued messages the superseded moves go; if that is not enough the socket counts as
// wedged: the outbox finishes, drops what is queued and says so once.
class ControlOutbox {
public:
    using Batch = std::vector<ControlMessage>;

    // Some seconds of the busiest input that cannot be merged (gamepad reports, keys).
    static constexpr std::size_t defaultLimit = 4096;

    // `wedged` is called at most once, on the thread of the send that went past the limit.
    explicit ControlOutbox(std::size_t limit = defaultLimit, std::function<void()> wedged = {});

    // Never blocks; dropped once the outbox is finished.
    void send(ControlMessage message);

    // The writer's call (one writer at a time): waits for messages and moves all of them into
    // `batch`, whose old contents are dropped and whose storage is reused for later sends.
    // Returns false, with `batch` empty, once finished and drained, or when `stop` is requested
    // while nothing is pending.
    bool next(Batch& batch, std::stop_token stop = {});

    // For good: wakes a waiting writer; what was sent before is still handed out.
    void finish();

    // The writer's whole loop: each batch coalesced, encoded and written to `sink` as one write,
    // until finished and drained or `stop` is requested. The outbox is finished when it ends,
    // so that input sent after a failed write is dropped at once instead of piling up
    // unwritten; the write's error is rethrown.
    void writeAll(ByteSink& sink, std::stop_token stop = {});

    // Waits, at most `limit` on `clock`, for `writeAll` to end: what was sent before `finish`
    // has then gone out or failed. True if it ended.
    bool waitWritten(std::chrono::nanoseconds limit, const TaskClock& clock = {});

    // Drops every touch move that a later move of the same pointer in the batch supersedes. A
    // press or release of that pointer in between keeps the earlier move; other messages do not.
    static void coalesce(Batch& batch);

    // The wire bytes of the batch, in order, appended to `into`. A message that cannot be encoded
    // (a uhid payload too long for its length field) is logged and left out, so one bad report
    // neither corrupts the stream nor costs the rest of the batch.
    static void encode(std::span<const ControlMessage> batch, BinaryWriter& into);
    static Bytes encode(std::span<const ControlMessage> batch);

private:
    void ended();

    const std::size_t limit_;
    const std::function<void()> wedged_;
    std::mutex mutex_;
    std::condition_variable_any wake_;
    Batch pending_;
    bool writerWaiting_ = false;
    bool finished_ = false;
    std::stop_source written_;  // requested once writeAll has ended
};

}  // namespace qm
