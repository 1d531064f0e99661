#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace qm {

// An owned run of bytes and a read-only view of one.
using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

inline ByteView asBytes(std::string_view text) noexcept {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

inline Bytes toBytes(std::string_view text) {
    const ByteView view = asBytes(text);
    return Bytes(view.begin(), view.end());
}

inline std::string_view asText(ByteView bytes) noexcept {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

}  // namespace qm
