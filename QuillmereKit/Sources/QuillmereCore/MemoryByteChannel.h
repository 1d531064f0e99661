#pragma once

#include <mutex>

#include "QuillmereCore/ByteQueue.h"

namespace qm {

// An in-memory channel: tests and replays feed its input, and everything written is kept.
// Its input is a ByteQueue, with the same order and cancellation rules.
class MemoryByteChannel final : public ByteChannel {
public:
    MemoryByteChannel() = default;

    // Ignored once finished or closed.
    void feed(ByteView data) { input_.feed(Bytes(data.begin(), data.end())); }
    // No more input: parked readers get their bytes if they are there, or endOfStream.
    void finish() { input_.finish(); }
    Bytes written() const;
    // Readers waiting for input right now; lets tests and replays know a reader has parked.
    std::size_t parkedReaderCount() const { return input_.parkedReaderCount(); }

    void write(ByteView data) override;
    void close() noexcept override;

protected:
    void readInto(std::span<std::uint8_t> into, std::stop_token stop) override {
        input_.readExactly(into, std::move(stop));
    }
    Bytes readBytes(std::size_t count, std::stop_token stop) override {
        return input_.readExactly(count, std::move(stop));
    }

private:
    ByteQueue input_;
    mutable std::mutex mutex_;
    Bytes written_;
    bool closed_ = false;
};

}  // namespace qm
