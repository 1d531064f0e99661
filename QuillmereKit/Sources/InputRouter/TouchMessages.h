#pragma once

#include <cstdint>

#include "QuillmereCore/ControlMessage.h"

// The one place where input machines build touch and key messages.
namespace qm::message {

// Pressure is 1 while the finger is on the screen and 0 as it lifts.
inline InjectTouch touch(MotionAction action, std::uint64_t pointer,
                         DevicePosition position) noexcept {
    return InjectTouch{action, pointer, position, action == MotionAction::up ? 0.0f : 1.0f, 0, 0};
}

inline InjectKeycode key(KeyAction action, std::int32_t keycode, std::int32_t repeat,
                         std::int32_t meta) noexcept {
    return InjectKeycode{action, keycode, repeat, meta};
}

}  // namespace qm::message
