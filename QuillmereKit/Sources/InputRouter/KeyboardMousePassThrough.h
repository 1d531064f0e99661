#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "InputRouter/InputEvent.h"
#include "InputRouter/MessageList.h"
#include "QuillmereCore/VideoGeometry.h"

namespace qm {

// Keyboard-and-mouse pass-through: keys become Android key events, the left button one finger,
// the right button back, the middle button home, the wheel a scroll. It remembers what it
// pressed on the phone so that everything can be released. Every operation appends the
// messages to send, in order, to `out`.
class KeyboardMousePassThrough {
public:
    // `geometry` maps view points to the phone; nothing while no video is shown.
    void handle(const InputEvent& event, const std::optional<VideoGeometry>& geometry,
                MessageList& out);
    // The phone's video size changed (rotation or resize).
    void videoSizeChanged(VideoSize size, MessageList& out);
    // Lifts everything this instance holds down on the phone.
    void releaseAll(MessageList& out);

    // The view point pulled onto the picture's nearest edge; the video's centre when the
    // point or the picture is unusable.
    static DevicePosition clampedPosition(PointF viewPoint, const VideoGeometry& geometry) noexcept;

    bool fingerDown() const noexcept { return fingerDown_; }
    const std::optional<DevicePosition>& lastFinger() const noexcept { return lastFinger_; }

private:
    struct PressedKey {
        std::int32_t keycode = 0;  // 0: not pressed
        std::int32_t repeats = 0;
    };

    void keyDown(const KeyDownEvent& event, MessageList& out);
    void keyUp(const KeyUpEvent& event, MessageList& out);
    void mouseButton(const MouseButtonEvent& event, const std::optional<VideoGeometry>& geometry,
                     MessageList& out);
    void mouseMoved(const MouseMovedEvent& event, const std::optional<VideoGeometry>& geometry,
                    MessageList& out);
    void scroll(const ScrollEvent& event, const std::optional<VideoGeometry>& geometry,
                MessageList& out);

    bool fingerDown_ = false;
    std::optional<DevicePosition> lastFinger_;  // with the screen size it refers to
    bool rightDown_ = false;                    // a back press is not yet released
    bool middleDown_ = false;                   // a home press is not yet released
    // By Mac key code; only keys with an Android code (all below 128) are ever pressed.
    std::array<PressedKey, 128> pressedKeys_{};
};

}  // namespace qm
