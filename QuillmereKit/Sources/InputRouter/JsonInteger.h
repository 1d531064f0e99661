#pragma once

#include <cstdint>
#include <limits>
#include <optional>

#include <nlohmann/json.hpp>

namespace qm {

// A JSON integer as a signed 64-bit value; nothing for any other value or one that does not fit.
inline std::optional<std::int64_t> jsonInteger(const nlohmann::json& json) noexcept {
    if (json.is_number_unsigned()) {
        const auto value = json.get<std::uint64_t>();
        if (value > std::uint64_t(std::numeric_limits<std::int64_t>::max())) {
            return std::nullopt;
        }
        return static_cast<std::int64_t>(value);
    }
    if (json.is_number_integer()) {
        return json.get<std::int64_t>();
    }
    return std::nullopt;
}

}  // namespace qm
