#pragma once

#include <optional>
#include <type_traits>

namespace qm {

// Enumerations whose cases stand for wire values: `rawValue(e)` gives the value, and
// `fromRawValue<E>(raw)` gives the case, or nothing for a value no case has.
template <typename E>
requires std::is_enum_v<E>
constexpr std::underlying_type_t<E> rawValue(E value) noexcept {
    return static_cast<std::underlying_type_t<E>>(value);
}

template <typename E>
requires std::is_enum_v<E> std::optional<E> fromRawValue(std::underlying_type_t<E> raw)
noexcept;

}  // namespace qm
