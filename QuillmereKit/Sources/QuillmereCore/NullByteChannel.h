#pragma once

#include <atomic>

#include "QuillmereCore/ByteChannel.h"

namespace qm {

// A channel to nowhere, for a socket that was not asked for: reads end at once, writes are
// dropped, and after close() both fail with closed.
class NullByteChannel final : public ByteChannel {
public:
    void write(ByteView) override {
        if (closed_.load()) {
            throw ByteIOError::closed();
        }
    }
    void close() noexcept override { closed_.store(true); }

protected:
    void readInto(std::span<std::uint8_t> into, std::stop_token) override {
        if (closed_.load()) {
            throw ByteIOError::closed();
        }
        if (!into.empty()) {
            throw ByteIOError::endOfStream();
        }
    }

private:
    std::atomic<bool> closed_{false};
};

}  // namespace qm
