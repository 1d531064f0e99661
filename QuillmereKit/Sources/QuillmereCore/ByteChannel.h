#pragma once

#include <cstddef>
#include <stop_token>
#include <utility>

#include "QuillmereCore/Bytes.h"
#include "QuillmereCore/TypedError.h"

namespace qm {

enum class ByteIOErrorKind { endOfStream, closed };

class ByteIOError : public TypedError<ByteIOErrorKind> {
public:
    explicit ByteIOError(Kind kind)
        : TypedError(kind,
                     kind == Kind::endOfStream ? "the stream ended before the expected bytes"
                                               : "the channel is closed",
                     kind == Kind::endOfStream ? "endOfStream" : "closed") {}

    static ByteIOError endOfStream() { return ByteIOError(Kind::endOfStream); }
    static ByteIOError closed() { return ByteIOError(Kind::closed); }
};

// Reads block the calling (background) thread. A stop token cancels a wait where the source
// supports it; closing the channel from another thread always releases a blocked reader.
class ByteSource {
public:
    virtual ~ByteSource() = default;

    // Fills `into` completely or throws; a failed read consumes nothing.
    void readExactly(std::span<std::uint8_t> into, std::stop_token stop = {}) {
        readInto(into, std::move(stop));
    }

    // A new buffer of exactly `count` bytes, or throws; a failed read consumes nothing.
    Bytes readExactly(std::size_t count, std::stop_token stop = {}) {
        return readBytes(count, std::move(stop));
    }

protected:
    virtual void readInto(std::span<std::uint8_t> into, std::stop_token stop) = 0;
    // Sources that hold the bytes already override this to hand them over, or to copy them once
    // into a buffer that is not zero-filled first.
    virtual Bytes readBytes(std::size_t count, std::stop_token stop) {
        Bytes out(count);
        readInto(out, std::move(stop));
        return out;
    }
};

class ByteSink {
public:
    virtual ~ByteSink() = default;
    // Sends every byte or throws.
    virtual void write(ByteView data) = 0;
};

class ByteChannel : public ByteSource, public ByteSink {
public:
    // Never throws; a blocked read or write on another thread then fails with `closed`.
    virtual void close() noexcept = 0;
};

}  // namespace qm
