#include "InputRouter/KeymapProfile.h"

#include <array>

namespace qm {

namespace {

// The one source of button names, in the order labels and files list them.
constexpr std::array<GamepadButtonName, 18> buttonNames{{
    {"south", GamepadButtons::south},
    {"east", GamepadButtons::east},
    {"west", GamepadButtons::west},
    {"north", GamepadButtons::north},
    {"l1", GamepadButtons::l1},
    {"r1", GamepadButtons::r1},
    {"l2", GamepadButtons::l2},
    {"r2", GamepadButtons::r2},
    {"l3", GamepadButtons::l3},
    {"r3", GamepadButtons::r3},
    {"share", GamepadButtons::share},
    {"options", GamepadButtons::options},
    {"home", GamepadButtons::home},
    {"touchpad", GamepadButtons::touchpad},
    {"dpadUp", GamepadButtons::dpadUp},
    {"dpadDown", GamepadButtons::dpadDown},
    {"dpadLeft", GamepadButtons::dpadLeft},
    {"dpadRight", GamepadButtons::dpadRight},
}};

}  // namespace

std::span<const GamepadButtonName> GamepadButtons::names() noexcept {
    return buttonNames;
}

std::optional<std::string_view> GamepadButtons::name() const noexcept {
    for (const GamepadButtonName& entry : buttonNames) {
        if (entry.button.rawValue == rawValue) {
            return entry.name;
        }
    }
    return std::nullopt;
}

std::optional<GamepadButtons> GamepadButtons::fromName(std::string_view name) noexcept {
    for (const GamepadButtonName& entry : buttonNames) {
        if (entry.name == name) {
            return entry.button;
        }
    }
    return std::nullopt;
}

std::string_view rawValue(Orientation orientation) noexcept {
    return orientation == Orientation::landscape ? "landscape" : "portrait";
}

std::string_view rawValue(StickSide side) noexcept {
    return side == StickSide::left ? "left" : "right";
}

std::optional<Orientation> orientationFromRawValue(std::string_view raw) noexcept {
    if (raw == "landscape") {
        return Orientation::landscape;
    }
    if (raw == "portrait") {
        return Orientation::portrait;
    }
    return std::nullopt;
}

std::optional<StickSide> stickSideFromRawValue(std::string_view raw) noexcept {
    if (raw == "left") {
        return StickSide::left;
    }
    if (raw == "right") {
        return StickSide::right;
    }
    return std::nullopt;
}

}  // namespace qm
