#pragma once

#include <optional>

#include "InputRouter/Gamepad.h"

namespace qm {

// Holds controller input back while the stream window cannot be seen or has a sheet open,
// releasing on the phone, once, whatever was held when it closed. Controllers still play
// while another application is active. Pure.
struct GamepadGate {
    // Whether the last state let through was not neutral.
    bool holdsInput = false;

    static bool isOpen(bool isStreamVisible, bool hasAttachedSheet) noexcept {
        return isStreamVisible && !hasAttachedSheet;
    }

    // The state to deliver, if any.
    std::optional<GamepadState> filter(const GamepadState& state, bool isOpen) noexcept {
        if (isOpen) {
            holdsInput = state != GamepadState::neutral;
            return state;
        }
        if (holdsInput) {
            holdsInput = false;
            return GamepadState::neutral;
        }
        return std::nullopt;
    }
};

}  // namespace qm
