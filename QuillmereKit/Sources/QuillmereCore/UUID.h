#pragma once

#include <array>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace qm {

// A 128-bit identifier in the standard 8-4-4-4-12 text form.
struct UUID {
    std::array<std::uint8_t, 16> bytes{};

    // A fresh version-4 identifier from the system's random source.
    static UUID random();
    // Accepts upper- or lower-case hexadecimal digits; nothing for any other text.
    static std::optional<UUID> parse(std::string_view text) noexcept;

    // The 36-character form with upper-case digits.
    std::string uuidString() const;

    auto operator<=>(const UUID&) const = default;
};

}  // namespace qm

template <>
struct std::hash<qm::UUID> {
    std::size_t operator()(const qm::UUID& id) const noexcept {
        std::uint64_t h = 0xcbf29ce484222325ull;  // FNV-1a: ids are random, any mix will do
        for (std::uint8_t b : id.bytes) {
            h = (h ^ b) * 0x100000001b3ull;
        }
        return static_cast<std::size_t>(h);
    }
};
