#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "InputRouter/GamepadBridge.h"
#include "InputRouter/InputEvent.h"
#include "InputRouter/KeyboardMousePassThrough.h"
#include "InputRouter/KeymapLayoutSwitcher.h"
#include "InputRouter/KeymapProfile.h"
#include "InputRouter/MessageList.h"
#include "QuillmereCore/VideoGeometry.h"

namespace qm {

// The one way this computer's input reaches the phone during a stream: holds the input mode
// and one machine per mode, and hands every control message an operation produces to `send`,
// in order, before it returns. Not thread-safe: called from the main thread only; it never
// blocks, owns no thread and keeps no queue. Steady play allocates nothing.
class InputRouter {
public:
    // Called synchronously; it must take every message at once and not call back into the
    // router.
    using Send = std::function<void(const ControlMessage&)>;
    using LayoutSwitched = std::function<void(std::size_t activeIndex)>;

    explicit InputRouter(Send send);
    InputRouter(const InputRouter&) = delete;
    InputRouter& operator=(const InputRouter&) = delete;

    InputMode mode() const noexcept { return mode_; }
    std::size_t activeLayoutIndex() const noexcept { return keymap_.activeIndex(); }
    // After a switch by `selectLayout` or by a layout's switch trigger, not by `setLayouts`.
    void setOnLayoutSwitch(LayoutSwitched callback) { onLayoutSwitch_ = std::move(callback); }

    // Leaves the old mode (releasing what it holds), then enters the new one; entering keymap
    // mode always starts on layout 0. The same mode again does nothing.
    void setMode(InputMode mode);
    // Reaches every machine in every mode, so each knows the video before its mode starts.
    void setGeometry(const VideoGeometry& geometry);
    void setLayouts(std::vector<KeymapLayout> layouts, std::size_t active);
    // One unnamed layout around `profile`, or no layouts.
    void setProfile(std::optional<KeymapProfile> profile);
    // Keymap mode only; false when nothing switched.
    bool selectLayout(std::size_t index);
    // Capture and hide the pointer: a look zone is being played and no Alt key is held.
    bool wantsCursorCapture() const noexcept;
    // A look zone is being played, the pointer captured or shown while an Alt key is held.
    bool playsLook() const noexcept;

    // `now` is `HostClock::nowNanos()`, every 1/120 s while the stream plays.
    void tick(std::uint64_t now);
    void handle(const InputEvent& event);
    // Lets go of everything held on the phone; mode, layouts and the virtual controller stay.
    void releaseAll();
    // For a new connection to the phone: releases everything and re-creates the virtual
    // controller in controller mode.
    void resync();

private:
    template <typename Produce>
    void run(Produce&& produce);
    void enter(InputMode mode, MessageList& out);
    void leave(InputMode mode, MessageList& out);
    void release(InputMode mode, MessageList& out);
    void reportLayoutSwitch();

    Send send_;
    LayoutSwitched onLayoutSwitch_;
    InputMode mode_ = InputMode::phoneGamepad;
    std::optional<VideoGeometry> geometry_;
    KeyboardMousePassThrough direct_;
    GamepadBridge gamepad_;
    KeymapLayoutSwitcher keymap_;
    MessageList messages_;
};

}  // namespace qm
