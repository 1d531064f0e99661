#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "QuillmereCore/Bytes.h"
#include "QuillmereCore/RawValue.h"

namespace qm {

enum class KeyAction : std::uint8_t { down = 0, up = 1 };
enum class MotionAction : std::uint8_t { down = 0, up = 1, move = 2 };

template <>
std::optional<KeyAction> fromRawValue<KeyAction>(std::uint8_t raw) noexcept;
template <>
std::optional<MotionAction> fromRawValue<MotionAction>(std::uint8_t raw) noexcept;

// A point on the phone's screen with the video frame size it refers to.
struct DevicePosition {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::uint16_t screenWidth = 0;
    std::uint16_t screenHeight = 0;

    bool operator==(const DevicePosition&) const = default;
};

// Reserved touch pointer ids; simulated fingers pick their own.
struct PointerID {
    static constexpr std::uint64_t mouse = 0xFFFFFFFFFFFFFFFFull;
    static constexpr std::uint64_t genericFinger = 0xFFFFFFFFFFFFFFFEull;
};

// The messages the computer sends on the control socket, one struct per case.
struct InjectKeycode {
    KeyAction action = KeyAction::down;
    std::int32_t keycode = 0;  // Android key code
    std::int32_t repeatCount = 0;
    std::int32_t metaState = 0;  // Android meta-state bits
    bool operator==(const InjectKeycode&) const = default;
};

struct InjectTouch {
    MotionAction action = MotionAction::down;
    std::uint64_t pointerID = 0;
    DevicePosition position;
    float pressure = 0;  // 0 to 1
    std::int32_t actionButton = 0;
    std::int32_t buttons = 0;  // Android button bits
    bool operator==(const InjectTouch&) const = default;
};

struct InjectScroll {
    DevicePosition position;
    float horizontal = 0;
    float vertical = 0;
    std::int32_t buttons = 0;
    bool operator==(const InjectScroll&) const = default;
};

struct BackOrScreenOn {
    KeyAction action = KeyAction::down;
    bool operator==(const BackOrScreenOn&) const = default;
};

struct SetDisplayPower {
    bool on = false;
    bool operator==(const SetDisplayPower&) const = default;
};

// A virtual HID device on the phone (the gamepad): create, feed input reports, destroy.
struct UhidCreate {
    std::uint16_t id = 0;
    std::uint16_t vendorID = 0;
    std::uint16_t productID = 0;
    std::string name;
    Bytes reportDescriptor;
    bool operator==(const UhidCreate&) const = default;
};

struct UhidInput {
    std::uint16_t id = 0;
    Bytes data;  // one input report
    bool operator==(const UhidInput&) const = default;
};

struct UhidDestroy {
    std::uint16_t id = 0;
    bool operator==(const UhidDestroy&) const = default;
};

struct StartApp {
    std::string packageName;
    bool operator==(const StartApp&) const = default;
};

struct ResetVideo {
    bool operator==(const ResetVideo&) const = default;
};

using ControlMessage =
    std::variant<InjectKeycode, InjectTouch, InjectScroll, BackOrScreenOn, SetDisplayPower,
                 UhidCreate, UhidInput, UhidDestroy, StartApp, ResetVideo>;

}  // namespace qm
