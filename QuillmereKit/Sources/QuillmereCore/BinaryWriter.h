#pragma once

#include <cstdint>

#include "QuillmereCore/Bytes.h"

namespace qm {

// Builds a big-endian message in memory.
class BinaryWriter {
public:
    BinaryWriter() = default;

    const Bytes& data() const noexcept { return data_; }
    Bytes take() noexcept { return std::move(data_); }
    // Starts a new message in the storage of the last one.
    void clear() noexcept { data_.clear(); }
    void reserve(std::size_t count) { data_.reserve(count); }

    void u8(std::uint8_t value) { data_.push_back(value); }
    void u16(std::uint16_t value) { put(value, 2); }
    void i16(std::int16_t value) { put(static_cast<std::uint16_t>(value), 2); }
    void u32(std::uint32_t value) { put(value, 4); }
    void i32(std::int32_t value) { put(static_cast<std::uint32_t>(value), 4); }
    void u64(std::uint64_t value) { put(value, 8); }
    void i64(std::int64_t value) { put(static_cast<std::uint64_t>(value), 8); }
    void bytes(ByteView value) { data_.insert(data_.end(), value.begin(), value.end()); }

    // The byte count as a big-endian integer of `lengthBytes` (1, 2 or 4) bytes, then the bytes.
    // A bad width or a value longer than the prefix can count throws BinaryError.invalid and
    // writes nothing, so a length never wraps and desynchronises the stream.
    void lengthPrefixed(ByteView value, int lengthBytes);

private:
    void put(std::uint64_t value, int width) {
        for (int shift = (width - 1) * 8; shift >= 0; shift -= 8) {
            data_.push_back(static_cast<std::uint8_t>(value >> shift));
        }
    }

    Bytes data_;
};

}  // namespace qm
