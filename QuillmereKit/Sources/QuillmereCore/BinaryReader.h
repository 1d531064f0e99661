#pragma once

#include <cstdint>

#include "QuillmereCore/Bytes.h"

namespace qm {

// Takes a complete big-endian message apart. Every failed read throws BinaryError and leaves
// the position where it was, so a caller can try another interpretation.
class BinaryReader {
public:
    explicit BinaryReader(Bytes data) : data_(std::move(data)) {}
    explicit BinaryReader(ByteView data) : data_(data.begin(), data.end()) {}

    std::size_t remaining() const noexcept { return data_.size() - offset_; }

    std::uint8_t u8() { return static_cast<std::uint8_t>(take(1)); }
    std::uint16_t u16() { return static_cast<std::uint16_t>(take(2)); }
    std::int16_t i16() { return static_cast<std::int16_t>(u16()); }
    std::uint32_t u32() { return static_cast<std::uint32_t>(take(4)); }
    std::int32_t i32() { return static_cast<std::int32_t>(u32()); }
    std::uint64_t u64() { return take(8); }
    std::int64_t i64() { return static_cast<std::int64_t>(u64()); }

    // The next `count` bytes; a negative count is invalid.
    Bytes bytes(std::int64_t count);
    // A big-endian length of `lengthBytes` (1, 2 or 4) bytes, then that many bytes.
    Bytes lengthPrefixed(int lengthBytes);

private:
    std::uint64_t take(std::size_t width);

    Bytes data_;
    std::size_t offset_ = 0;
};

}  // namespace qm
