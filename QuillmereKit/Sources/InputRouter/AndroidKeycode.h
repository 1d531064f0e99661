#pragma once

#include <cstdint>
#include <optional>

#include "InputRouter/InputEvent.h"

namespace qm {

// Mac virtual key codes to Android key codes, and modifier flags to Android meta state.
struct AndroidKeycode {
    // Nothing for keys that are not passed through (Fn, F13 and above, the ISO section key).
    static std::optional<std::int32_t> from(std::uint16_t macKeyCode) noexcept;
    // Right-hand modifiers report the left-hand bits: the flags do not tell the sides apart.
    static std::int32_t metaState(KeyModifiers modifiers) noexcept;
};

}  // namespace qm
