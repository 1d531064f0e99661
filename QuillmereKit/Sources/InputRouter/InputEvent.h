#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <variant>

#include <nlohmann/json_fwd.hpp>

#include "InputRouter/Gamepad.h"
#include "InputRouter/OptionSet.h"
#include "QuillmereCore/RawValue.h"
#include "QuillmereCore/VideoGeometry.h"

namespace qm {

// What the router does with a stream's input. The raw value is how a game's mode is stored,
// so it starts at 1 and never changes.
enum class InputMode : int {
    phoneGamepad = 1,   // a controller paired with the phone: every event is dropped
    macGamepad = 2,     // this computer's controller becomes a virtual controller on the phone
    keyboardMouse = 3,  // keys and mouse are passed through as key events and one finger
    keymap = 4,         // the active keymap layout turns input into touches
};

inline constexpr std::array<InputMode, 4> allInputModes{
    InputMode::phoneGamepad, InputMode::macGamepad, InputMode::keyboardMouse, InputMode::keymap};

template <>
std::optional<InputMode> fromRawValue<InputMode>(int raw) noexcept;

// The mode under the name the user sees, for the log.
std::string_view logName(InputMode mode) noexcept;

// Coded as the bare raw value.
void to_json(nlohmann::json& json, InputMode mode);
void from_json(const nlohmann::json& json, InputMode& mode);

// The modifier keys held at a key event; either side of a key sets the same bit.
struct KeyModifiers : OptionSet<KeyModifiers, std::uint8_t> {
    using OptionSet::OptionSet;

    static const KeyModifiers shift;
    static const KeyModifiers control;
    static const KeyModifiers option;
    static const KeyModifiers command;
    static const KeyModifiers capsLock;
};

inline constexpr KeyModifiers KeyModifiers::shift{0x01};
inline constexpr KeyModifiers KeyModifiers::control{0x02};
inline constexpr KeyModifiers KeyModifiers::option{0x04};
inline constexpr KeyModifiers KeyModifiers::command{0x08};
inline constexpr KeyModifiers KeyModifiers::capsLock{0x10};

// Key codes are Mac virtual key codes: the key's position, whatever the keyboard layout.
struct KeyDownEvent {
    std::uint16_t keyCode = 0;
    KeyModifiers modifiers;
    bool isRepeat = false;  // the system's automatic repetition of a held key
};

struct KeyUpEvent {
    std::uint16_t keyCode = 0;
    KeyModifiers modifiers;
};

// View points are in the coordinate space of the geometry's content rectangle.
struct MouseMovedEvent {
    PointF viewPoint;
};

// Relative motion wherever the pointer is; positive dy is downward.
struct MouseDeltaEvent {
    double dx = 0;
    double dy = 0;
};

struct MouseButtonEvent {
    int button = 0;  // 0 left, 1 right, 2 middle
    bool down = false;
    PointF viewPoint;
};

struct ScrollEvent {
    double dx = 0;
    double dy = 0;
    PointF viewPoint;
};

// One complete controller sample; consumers compare it with the previous one.
struct GamepadEvent {
    GamepadState state;
};

using InputEvent = std::variant<KeyDownEvent, KeyUpEvent, MouseMovedEvent, MouseDeltaEvent,
                                MouseButtonEvent, ScrollEvent, GamepadEvent>;

}  // namespace qm
