#include "QuillmereCore/UUID.h"

#include <random>

namespace qm {

namespace {

// Byte offsets where the text form puts a hyphen before the byte.
constexpr bool hyphenBefore(std::size_t byte) noexcept {
    return byte == 4 || byte == 6 || byte == 8 || byte == 10;
}

int hexDigit(char c) noexcept {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

}  // namespace

UUID UUID::random() {
    // Reads the kernel's random source on Linux; ids are made rarely, so no generator is kept.
    std::random_device device;
    UUID id;
    for (std::size_t i = 0; i < id.bytes.size(); i += 4) {
        const std::uint32_t word = device();
        for (std::size_t j = 0; j < 4; ++j) {
            id.bytes[i + j] = static_cast<std::uint8_t>(word >> (8 * j));
        }
    }
    id.bytes[6] = static_cast<std::uint8_t>((id.bytes[6] & 0x0F) | 0x40);  // version 4
    id.bytes[8] = static_cast<std::uint8_t>((id.bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
    return id;
}

std::optional<UUID> UUID::parse(std::string_view text) noexcept {
    if (text.size() != 36) {
        return std::nullopt;
    }
    UUID id;
    std::size_t pos = 0;
    for (std::size_t byte = 0; byte < id.bytes.size(); ++byte) {
        if (hyphenBefore(byte) && text[pos++] != '-') {
            return std::nullopt;
        }
        const int high = hexDigit(text[pos++]);
        const int low = hexDigit(text[pos++]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        id.bytes[byte] = static_cast<std::uint8_t>((high << 4) | low);
    }
    return id;
}

std::string UUID::uuidString() const {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(36);
    for (std::size_t byte = 0; byte < bytes.size(); ++byte) {
        if (hyphenBefore(byte)) {
            text.push_back('-');
        }
        text.push_back(digits[bytes[byte] >> 4]);
        text.push_back(digits[bytes[byte] & 0x0F]);
    }
    return text;
}

}  // namespace qm
