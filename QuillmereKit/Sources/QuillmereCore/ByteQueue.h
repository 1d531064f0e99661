#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <limits>
#include <mutex>
#include <optional>

#include "QuillmereCore/ByteChannel.h"

namespace qm {

// Bytes handed from a producer to blocking readers, in order: an ADB stream's receive buffer, a
// replay's input. Chunks are kept as they were fed, so a read of exactly one chunk takes it
// without a copy. Waiting readers are served strictly in arrival order, even when a later one
// could be met; each may be cancelled by its stop token. A producer that can be held back is
// told to when the reader falls behind (holdBackAbove). Any thread may call anything.
class ByteQueue final : public ByteSource {
public:
    ByteQueue() = default;
    ByteQueue(const ByteQueue&) = delete;
    ByteQueue& operator=(const ByteQueue&) = delete;

    // Once `mark` unread bytes wait and no reader waits for more, feed() answers false: the
    // producer holds back until `resume` is called, once, on the thread of the reader that
    // brings the unread bytes below the mark or waits for more than there is. `resume` must not
    // throw. Set before the first feed.
    void holdBackAbove(std::size_t mark, std::function<void()> resume);

    // Ignored once finished or closed. False when the producer must hold back until resumed.
    bool feed(Bytes chunk);
    // No more input: waiting readers get their bytes if they are there, or endOfStream; what is
    // unread stays readable.
    void finish();
    // Ended here: unread bytes are dropped and every read, waiting or later, fails with closed.
    void close() noexcept;

    // Every byte until finish().
    Bytes readToEnd(std::stop_token stop = {});
    // The same, when finish() comes before more than `limit` bytes wait and before `deadline`;
    // otherwise nothing, and what came stays unread.
    std::optional<Bytes> readToEnd(std::size_t limit,
                                   std::chrono::steady_clock::time_point deadline,
                                   std::stop_token stop = {});

    std::size_t unreadByteCount() const;
    // Readers waiting for input right now; lets tests and replays know a reader has parked.
    std::size_t parkedReaderCount() const;

protected:
    void readInto(std::span<std::uint8_t> into, std::stop_token stop) override;
    Bytes readBytes(std::size_t count, std::stop_token stop) override;

private:
    struct Waiter {
        std::optional<std::size_t> count;  // none: everything up to the end
        std::size_t limit = std::numeric_limits<std::size_t>::max();  // of everything
        bool overLimit = false;
        std::span<std::uint8_t> into;  // when empty, the answer goes to `bytes`
        Bytes bytes;
        std::optional<ByteIOErrorKind> failure;
        bool answered = false;
    };

    // False when `deadline` passed first.
    bool read(Waiter& waiter, std::stop_token stop,
              std::optional<std::chrono::steady_clock::time_point> deadline = std::nullopt);
    // Ends a hold if `now`; the caller then calls `resume_` without the lock.
    bool release(bool now);
    // Answers `waiter` if the state allows it now.
    bool tryAnswer(Waiter& waiter);
    void take(std::size_t count, Waiter& waiter);
    // Hands the next `count` bytes to `sink` in pieces, one per chunk they span.
    template <typename Sink>
    void takeFront(std::size_t count, Sink sink);
    // Returns whether any waiter was answered.
    bool serveWaiters();

    mutable std::mutex mutex_;
    std::condition_variable_any wake_;
    std::deque<Bytes> chunks_;  // never holds an empty chunk
    std::size_t headOffset_ = 0;
    std::size_t unread_ = 0;
    std::optional<ByteIOErrorKind> end_;
    std::deque<Waiter*> waiters_;  // each lives on its reader's stack while parked
    std::size_t mark_ = std::numeric_limits<std::size_t>::max();
    std::function<void()> resume_;
    bool held_ = false;
};

}  // namespace qm
