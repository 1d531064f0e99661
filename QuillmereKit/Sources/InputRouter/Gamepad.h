#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string_view>

#include <nlohmann/json_fwd.hpp>

#include "InputRouter/OptionSet.h"
#include "QuillmereCore/VideoGeometry.h"

namespace qm {

struct GamepadButtonName;

// The buttons held in one controller sample. The bits are fixed: keymaps and the virtual
// controller depend on them, and l2/r2 sit above the direction pad.
struct GamepadButtons : OptionSet<GamepadButtons, std::uint32_t> {
    using OptionSet::OptionSet;

    static const GamepadButtons south;
    static const GamepadButtons east;
    static const GamepadButtons west;
    static const GamepadButtons north;
    static const GamepadButtons l1;
    static const GamepadButtons r1;
    static const GamepadButtons l2;
    static const GamepadButtons r2;
    static const GamepadButtons l3;
    static const GamepadButtons r3;
    static const GamepadButtons share;
    static const GamepadButtons options;
    static const GamepadButtons home;
    static const GamepadButtons touchpad;
    static const GamepadButtons dpadUp;
    static const GamepadButtons dpadDown;
    static const GamepadButtons dpadLeft;
    static const GamepadButtons dpadRight;

    // The 18 buttons with the names keymap files and labels use, in their fixed order.
    static std::span<const GamepadButtonName> names() noexcept;

    // The name of a set of exactly one button.
    std::optional<std::string_view> name() const noexcept;
    // The one-button set of that exact (case-sensitive) name.
    static std::optional<GamepadButtons> fromName(std::string_view name) noexcept;
};

inline constexpr GamepadButtons GamepadButtons::south{0x00001};
inline constexpr GamepadButtons GamepadButtons::east{0x00002};
inline constexpr GamepadButtons GamepadButtons::west{0x00004};
inline constexpr GamepadButtons GamepadButtons::north{0x00008};
inline constexpr GamepadButtons GamepadButtons::l1{0x00010};
inline constexpr GamepadButtons GamepadButtons::r1{0x00020};
inline constexpr GamepadButtons GamepadButtons::l2{0x10000};
inline constexpr GamepadButtons GamepadButtons::r2{0x20000};
inline constexpr GamepadButtons GamepadButtons::l3{0x00040};
inline constexpr GamepadButtons GamepadButtons::r3{0x00080};
inline constexpr GamepadButtons GamepadButtons::share{0x00100};
inline constexpr GamepadButtons GamepadButtons::options{0x00200};
inline constexpr GamepadButtons GamepadButtons::home{0x00400};
inline constexpr GamepadButtons GamepadButtons::touchpad{0x00800};
inline constexpr GamepadButtons GamepadButtons::dpadUp{0x01000};
inline constexpr GamepadButtons GamepadButtons::dpadDown{0x02000};
inline constexpr GamepadButtons GamepadButtons::dpadLeft{0x04000};
inline constexpr GamepadButtons GamepadButtons::dpadRight{0x08000};

struct GamepadButtonName {
    std::string_view name;
    GamepadButtons button;
};

// Coded as the bare raw value, a single unsigned number.
void to_json(nlohmann::json& json, GamepadButtons buttons);
void from_json(const nlohmann::json& json, GamepadButtons& buttons);

// One complete controller sample. Sticks are -1...1 with y growing downwards, triggers 0...1;
// the producer keeps to these ranges and each consumer clamps for itself.
struct GamepadState {
    PointF leftStick;
    PointF rightStick;
    double leftTrigger = 0;
    double rightTrigger = 0;
    GamepadButtons buttons;

    // What a released controller reports.
    static const GamepadState neutral;

    // Plain floating-point equality: a NaN axis makes a state equal to none, itself included.
    bool operator==(const GamepadState&) const = default;
};

inline constexpr GamepadState GamepadState::neutral{};

}  // namespace qm

template <>
struct std::hash<qm::GamepadButtons> {
    std::size_t operator()(qm::GamepadButtons buttons) const noexcept {
        return std::hash<std::uint32_t>{}(buttons.rawValue);
    }
};
