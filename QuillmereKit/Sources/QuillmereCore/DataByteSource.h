#pragma once

#include <mutex>

#include "QuillmereCore/ByteChannel.h"

namespace qm {

// A read-only source over a finished buffer; it never waits.
class DataByteSource final : public ByteSource {
public:
    explicit DataByteSource(Bytes data) : data_(std::move(data)) {}

    std::size_t remaining() const;

protected:
    void readInto(std::span<std::uint8_t> into, std::stop_token stop) override;

private:
    mutable std::mutex mutex_;
    Bytes data_;
    std::size_t offset_ = 0;
};

}  // namespace qm
