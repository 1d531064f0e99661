#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>

#include "QuillmereCore/ByteChannel.h"

namespace qm {

// An in-memory channel: tests and replays feed its input, and everything written is kept.
// Waiting readers are served strictly in arrival order, even when a later one could be met.
class MemoryByteChannel final : public ByteChannel {
public:
    MemoryByteChannel() = default;

    // Ignored once finished or closed.
    void feed(ByteView data);
    // No more input: parked readers get their bytes if they are there, or endOfStream.
    void finish();
    Bytes written() const;
    // Readers waiting for input right now; lets tests and replays know a reader has parked.
    std::size_t parkedReaderCount() const;

    void write(ByteView data) override;
    void close() noexcept override;

protected:
    void readInto(std::span<std::uint8_t> into, std::stop_token stop) override;

private:
    enum class WaiterState { parked, served, failed };
    struct Waiter {
        std::uint64_t id;
        std::span<std::uint8_t> into;
        WaiterState state = WaiterState::parked;
        ByteIOErrorKind failure = ByteIOErrorKind::endOfStream;
    };

    std::size_t buffered() const { return buffer_.size() - head_; }
    void take(std::span<std::uint8_t> into);
    // Returns whether any waiter left the queue.
    bool serveWaiters();

    mutable std::mutex mutex_;
    std::condition_variable_any wake_;
    Bytes buffer_;
    std::size_t head_ = 0;  // bytes of `buffer_` already taken
    Bytes written_;
    std::deque<Waiter*> waiters_;  // each lives on its reader's stack while parked
    std::uint64_t nextWaiterID_ = 0;
    bool finished_ = false;
    bool closed_ = false;
};

}  // namespace qm
