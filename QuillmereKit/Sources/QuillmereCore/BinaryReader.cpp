#include "QuillmereCore/BinaryReader.h"

#include <fmt/format.h>

#include "QuillmereCore/BinaryError.h"

namespace qm {

std::uint64_t BinaryReader::take(std::size_t width) {
    if (remaining() < width) {
        throw BinaryError::truncated();
    }
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < width; ++i) {
        value = (value << 8) | data_[offset_ + i];
    }
    offset_ += width;
    return value;
}

Bytes BinaryReader::bytes(std::int64_t count) {
    if (count < 0) {
        throw BinaryError::invalid(fmt::format("negative byte count {}", count));
    }
    if (remaining() < static_cast<std::uint64_t>(count)) {
        throw BinaryError::truncated();
    }
    const auto first = data_.begin() + static_cast<std::ptrdiff_t>(offset_);
    Bytes out(first, first + static_cast<std::ptrdiff_t>(count));
    offset_ += static_cast<std::size_t>(count);
    return out;
}

Bytes BinaryReader::lengthPrefixed(int lengthBytes) {
    const std::size_t start = offset_;
    std::uint32_t length = 0;
    switch (lengthBytes) {
        case 1:
            length = u8();
            break;
        case 2:
            length = u16();
            break;
        case 4:
            length = u32();
            break;
        default:
            throw BinaryError::invalid(
                fmt::format("lengthBytes must be 1, 2 or 4, got {}", lengthBytes));
    }
    try {
        return bytes(length);
    } catch (const BinaryError&) {
        offset_ = start;
        throw;
    }
}

}  // namespace qm
