#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "InputRouter/Gamepad.h"
#include "QuillmereCore/UUID.h"
#include "QuillmereCore/VideoGeometry.h"

namespace qm {

// Positions and rectangles of actions are fractions of the video picture (x from the left,
// y from the top); lengths are fractions of its width. Validation of files enforces limits.

enum class Orientation { landscape, portrait };
enum class StickSide { left, right };

std::string_view rawValue(Orientation orientation) noexcept;
std::string_view rawValue(StickSide side) noexcept;
// Exact, case-sensitive names.
std::optional<Orientation> orientationFromRawValue(std::string_view raw) noexcept;
std::optional<StickSide> stickSideFromRawValue(std::string_view raw) noexcept;

// What fires a tap or a stick direction. Triggers of different kinds never compare equal,
// whatever their payloads.
class Trigger {
public:
    enum class Kind : std::uint8_t { key, mouseButton, gamepad };

    static constexpr Trigger key(std::uint16_t macKeyCode) noexcept {
        return Trigger(Kind::key, macKeyCode);
    }
    // 0 left, 1 right, 2 middle.
    static constexpr Trigger mouseButton(std::int64_t button) noexcept {
        return Trigger(Kind::mouseButton, button);
    }
    static constexpr Trigger gamepad(GamepadButtons buttons) noexcept {
        return Trigger(Kind::gamepad, buttons.rawValue);
    }

    constexpr Kind kind() const noexcept { return kind_; }
    constexpr std::optional<std::uint16_t> asKey() const noexcept {
        return kind_ == Kind::key ? std::optional(static_cast<std::uint16_t>(payload_))
                                  : std::nullopt;
    }
    constexpr std::optional<std::int64_t> asMouseButton() const noexcept {
        return kind_ == Kind::mouseButton ? std::optional(payload_) : std::nullopt;
    }
    constexpr std::optional<GamepadButtons> asGamepad() const noexcept {
        return kind_ == Kind::gamepad
                   ? std::optional(GamepadButtons(static_cast<std::uint32_t>(payload_)))
                   : std::nullopt;
    }

    bool operator==(const Trigger&) const = default;

private:
    constexpr Trigger(Kind kind, std::int64_t payload) noexcept : kind_(kind), payload_(payload) {}

    Kind kind_;
    std::int64_t payload_;

    friend struct std::hash<Trigger>;
};

struct KeymapAction {
    // While the trigger is held, one finger touches the screen at `at`.
    struct Tap {
        Trigger trigger;
        PointF at;
        bool operator==(const Tap&) const = default;
    };
    // A movement joystick: the direction triggers (or the named controller stick) move one
    // finger from `center` by at most `radius`.
    struct Stick {
        Trigger up;
        Trigger down;
        Trigger left;
        Trigger right;
        std::optional<StickSide> gamepadStick;
        PointF center;
        double radius = 0;
        bool operator==(const Stick&) const = default;
    };
    // A camera area: a finger resting at `center` is dragged by relative mouse motion (and the
    // named controller stick) inside `zone`, scaled by `sensitivity`.
    struct Look {
        PointF center;
        RectF zone;
        double sensitivity = 1.0;
        std::optional<StickSide> gamepadStick;
        bool operator==(const Look&) const = default;
    };
    using Kind = std::variant<Tap, Stick, Look>;

    UUID id;  // stable across edits and files; per-action state is keyed by it
    Kind kind;

    bool operator==(const KeymapAction&) const = default;
};

// One complete mapping for one game.
struct KeymapProfile {
    // A phone screen holds a few dozen controls. Far more would only make the editor and every
    // event slower, and a file of them large.
    static constexpr std::size_t maxActions = 256;

    int version = 1;  // format version of a single-profile file
    std::string packageName;
    Orientation orientation = Orientation::landscape;
    std::vector<KeymapAction> actions;  // the order of play: it decides the touch pointers
    bool showLabels = true;

    KeymapProfile() = default;
    KeymapProfile(std::string package, Orientation layoutOrientation,
                  std::vector<KeymapAction> mappedActions, bool labels = true)
        : packageName(std::move(package)),
          orientation(layoutOrientation),
          actions(std::move(mappedActions)),
          showLabels(labels) {}

    bool operator==(const KeymapProfile&) const = default;
};

// A named profile that its own trigger switches to during play.
struct KeymapLayout {
    static constexpr std::size_t maxNameLength = 40;  // in characters
    // Ten bytes a character, as flags and emoji with a skin tone take: a character can hold
    // megabytes of marks, which would cost seconds at every look.
    static constexpr std::size_t maxNameBytes = 400;

    UUID id;
    std::string name;
    std::optional<Trigger> switchTrigger;
    KeymapProfile profile;

    bool operator==(const KeymapLayout&) const = default;
};

}  // namespace qm

template <>
struct std::hash<qm::Trigger> {
    std::size_t operator()(const qm::Trigger& trigger) const noexcept {
        const auto kind = static_cast<std::uint64_t>(trigger.kind_);
        return std::hash<std::uint64_t>{}((static_cast<std::uint64_t>(trigger.payload_) << 2) ^
                                          kind);
    }
};
