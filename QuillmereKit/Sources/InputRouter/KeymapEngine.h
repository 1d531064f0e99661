#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "InputRouter/InputEvent.h"
#include "InputRouter/KeyboardMousePassThrough.h"
#include "InputRouter/KeymapProfile.h"
#include "InputRouter/MacKeyCode.h"
#include "InputRouter/MessageList.h"
#include "QuillmereCore/VideoGeometry.h"

namespace qm {

// Plays one keymap profile on the phone: taps, movement sticks and look zones become touches,
// one finger per action with pointer id = action index + 1, positions kept in video pixels.
// While either Alt key is held, look pauses and the pointer and left button drive a single
// pass-through finger. Every operation appends the messages to send, in order, to `out`.
// Used from one thread (the router's); after `setProfile`/`reserve`, nothing allocates.
class KeymapEngine {
public:
    // More triggers held at once are ignored; a keyboard has about 110 keys.
    static constexpr std::size_t maxHeldTriggers = 256;

    KeymapEngine();

    // Lifts everything and plays `profile` (nothing when null) with nothing held. The engine
    // does not own it: the caller keeps it alive and unchanged until the next profile is set.
    void setProfile(const KeymapProfile* profile, MessageList& out);
    // Lifts the old profile's fingers and plays `profile`, carrying held input over, except
    // `excluding`, which counts as released until it is pressed again.
    void switchProfile(const KeymapProfile& profile, std::optional<Trigger> excluding,
                       MessageList& out);
    // Room for profiles of up to `actionCount` actions, so that switching among them allocates
    // nothing.
    void reserve(std::size_t actionCount);

    // A new video size lifts every finger and presses the held taps and sticks again.
    void setGeometry(const VideoGeometry& geometry, MessageList& out);
    // Does nothing until both a profile and a geometry are set.
    void handle(const InputEvent& event, MessageList& out);
    // Moves the controller-stick look fingers; `now` is `HostClock::nowNanos()`.
    void tick(std::uint64_t now, MessageList& out);
    // Lifts every finger and forgets everything held; the profile and geometry stay.
    void releaseAll(MessageList& out);

    bool optionHeld() const noexcept;
    GamepadButtons gamepadButtons() const noexcept { return gamepad_.buttons; }
    // A look zone to drive with relative motion, whether or not an Alt key frees the pointer.
    bool playsLook() const noexcept;
    // A look zone, and no Alt key freeing the pointer.
    bool wantsCursorCapture() const noexcept { return playsLook() && !optionHeld(); }

private:
    struct Finger {
        PointF at;  // video pixels, exact, so that small steps add up
        bool down = false;
    };

    void keyDown(const KeyDownEvent& event, MessageList& out);
    void keyUp(const KeyUpEvent& event, MessageList& out);
    void mouseButton(const MouseButtonEvent& event, MessageList& out);
    void optionChanged(std::uint16_t keyCode, bool down, MessageList& out);
    void mouseLook(double dx, double dy, MessageList& out);
    void look(std::size_t i, double dx, double dy, MessageList& out);
    void gamepadChanged(const GamepadState& state, MessageList& out);

    bool isHeld(Trigger trigger) const noexcept;
    void triggerDown(Trigger trigger, MessageList& out);
    void triggerUp(Trigger trigger, MessageList& out);
    void refreshActions(Trigger trigger, MessageList& out);
    void refresh(std::size_t i, MessageList& out);
    void moveStick(std::size_t i, const KeymapAction::Stick& stick, PointF vector,
                   MessageList& out);
    void lift(std::size_t i, MessageList& out);
    void liftAll(MessageList& out);
    void install(const KeymapProfile* profile);

    PointF pixels(PointF normalized) const noexcept;
    DevicePosition position(PointF pixel) const noexcept;
    void touch(MotionAction action, std::size_t i, PointF pixel, MessageList& out) const;
    void move(std::size_t i, PointF from, PointF to, MessageList& out) const;

    const KeymapProfile* profile_ = nullptr;
    std::optional<VideoGeometry> geometry_;
    std::vector<Trigger> heldTriggers_;  // a set; reserved once, never grows past its limit
    std::array<bool, MacKeyCode::options.size()> heldOptionKeys_{};
    GamepadState gamepad_;
    // One slot per action index: actions sharing an id still keep their own fingers.
    std::vector<Finger> fingers_;
    KeyboardMousePassThrough direct_;
    std::optional<std::uint64_t> lastTick_;
};

}  // namespace qm
