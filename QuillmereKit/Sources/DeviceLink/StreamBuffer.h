#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <span>

#include "QuillmereCore/ByteChannel.h"

namespace qm {

// The received bytes of one ADB stream, between the connection's reader thread and the one
// thread that consumes the stream. Also carries how the stream ended: endOfStream (the phone
// closed it, or the transport failed: buffered bytes stay readable) or closed (closed here:
// everything buffered is dropped). Waits have no time-out and ignore cancellation; finishing
// the buffer is what releases them.
class StreamBuffer {
public:
    StreamBuffer() = default;
    StreamBuffer(const StreamBuffer&) = delete;
    StreamBuffer& operator=(const StreamBuffer&) = delete;

    // Dropped once the stream has ended.
    void append(Bytes data);
    // `closed` replaces an earlier endOfStream; nothing replaces `closed`.
    void finish(ByteIOErrorKind end);

    // Exactly `count` bytes in order; a payload that is exactly the answer is moved, not copied.
    Bytes readExactly(std::size_t count);
    // Fills `into` completely.
    void readExactly(std::span<std::uint8_t> into);
    // Everything until the phone ends the stream.
    Bytes readToEnd();

private:
    struct Waiter {
        std::optional<std::size_t> count;  // none: wants everything up to the end
        std::span<std::uint8_t> into;      // when empty, the answer goes to `bytes`
        Bytes bytes;
        std::optional<ByteIOErrorKind> failure;
        bool answered = false;
    };

    // Answers `waiter` from the state if it can be answered now.
    bool tryAnswer(Waiter& waiter);
    void take(std::size_t count, Waiter& waiter);
    void copyFront(std::span<std::uint8_t> into);
    void wait(Waiter& waiter);

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Bytes> chunks_;  // never holds an empty chunk
    std::size_t headOffset_ = 0;
    std::size_t count_ = 0;
    std::optional<ByteIOErrorKind> end_;
    Waiter* waiter_ = nullptr;  // lives on its reader's stack while parked
};

}  // namespace qm
