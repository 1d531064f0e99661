#include "Input/RawMotionEvent.h"

#include <bit>
#include <cstring>

namespace qm {
namespace {

constexpr std::uint8_t genericEvent = 35;  // XCB_GE_GENERIC
constexpr std::uint16_t rawMotion = 17;    // XCB_INPUT_RAW_MOTION

template <typename T>
T read(std::span<const std::uint8_t> bytes, std::size_t at) noexcept {
    T value;
    std::memcpy(&value, bytes.data() + at, sizeof value);
    return value;  // X11 clients speak the host's byte order
}

double fp3232(std::span<const std::uint8_t> bytes, std::size_t at) noexcept {
    return double(read<std::int32_t>(bytes, at)) +
           double(read<std::uint32_t>(bytes, at + 4)) / 4294967296.0;
}

}  // namespace

std::size_t RawMotionEvent::claimedSize(std::span<const std::uint8_t, headerSize> header) noexcept {
    return headerSize + std::size_t(read<std::uint32_t>(header, 4)) * 4;
}

std::optional<RawMotionEvent> RawMotionEvent::parse(std::span<const std::uint8_t> bytes,
                                                    std::uint8_t xinputOpcode) noexcept {
    if (bytes.size() < headerSize || (bytes[0] & 0x7F) != genericEvent ||
        bytes[1] != xinputOpcode || read<std::uint16_t>(bytes, 8) != rawMotion) {
        return std::nullopt;
    }
    const std::size_t size = claimedSize(bytes.first<headerSize>());
    const std::size_t maskWords = read<std::uint16_t>(bytes, 22);
    if (size > bytes.size() || headerSize + maskWords * 4 > size) {
        return std::nullopt;
    }
    const std::span<const std::uint8_t> event = bytes.first(size);
    std::size_t values = 0;
    for (std::size_t word = 0; word < maskWords; ++word) {
        values += std::size_t(std::popcount(read<std::uint32_t>(event, headerSize + word * 4)));
    }
    const std::size_t accelerated = headerSize + maskWords * 4;
    const std::size_t raw = accelerated + values * 8;
    if (raw + values * 8 > size) {
        return std::nullopt;
    }
    const std::uint32_t firstWord = maskWords > 0 ? read<std::uint32_t>(event, headerSize) : 0;
    RawMotionEvent motion;
    std::size_t index = 0;  // of the value among the set bits
    if (firstWord & 1) {
        motion.dx = fp3232(event, raw + index++ * 8);
    }
    if (firstWord & 2) {
        motion.dy = fp3232(event, raw + index * 8);
    }
    return motion;
}

}  // namespace qm
