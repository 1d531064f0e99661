#include "InputRouter/KeyboardMousePassThrough.h"

#include <algorithm>
#include <cmath>
#include <type_traits>
#include <variant>

#include "InputRouter/AndroidKeycode.h"
#include "InputRouter/TouchMessages.h"

namespace qm {

namespace {

constexpr std::int32_t homeKeycode = 3;
constexpr double maxScroll = 16;  // one full step on the wire

// A NaN from the platform scrolls nothing rather than reaching the encoder.
float scrollAmount(double delta) noexcept {
    return std::isnan(delta) ? 0.0f : static_cast<float>(std::clamp(delta, -maxScroll, maxScroll));
}

}  // namespace

void KeyboardMousePassThrough::handle(const InputEvent& event,
                                      const std::optional<VideoGeometry>& geometry,
                                      MessageList& out) {
    std::visit(
        [&](const auto& e) {
            using E = std::decay_t<decltype(e)>;
            if constexpr (std::is_same_v<E, KeyDownEvent>) {
                keyDown(e, out);
            } else if constexpr (std::is_same_v<E, KeyUpEvent>) {
                keyUp(e, out);
            } else if constexpr (std::is_same_v<E, MouseButtonEvent>) {
                mouseButton(e, geometry, out);
            } else if constexpr (std::is_same_v<E, MouseMovedEvent>) {
                mouseMoved(e, geometry, out);
            } else if constexpr (std::is_same_v<E, ScrollEvent>) {
                scroll(e, geometry, out);
            }
            // Relative motion and controller samples have no meaning here.
        },
        event);
}

void KeyboardMousePassThrough::keyDown(const KeyDownEvent& event, MessageList& out) {
    // Command shortcuts stay on this computer, the Command keys themselves included.
    if (event.modifiers.contains(KeyModifiers::command)) {
        return;
    }
    const auto keycode = AndroidKeycode::from(event.keyCode);
    if (!keycode) {
        return;
    }
    PressedKey& pressed = pressedKeys_[event.keyCode];
    // A repeat whose first press was not seen starts counting afresh.
    pressed.repeats = event.isRepeat && pressed.keycode != 0 ? pressed.repeats + 1 : 0;
    pressed.keycode = *keycode;
    out.push(message::key(KeyAction::down, *keycode, pressed.repeats,
                          AndroidKeycode::metaState(event.modifiers)));
}

void KeyboardMousePassThrough::keyUp(const KeyUpEvent& event, MessageList& out) {
    // Command does not hold back key-ups: a key pressed before it must still be released.
    if (event.keyCode >= pressedKeys_.size() || pressedKeys_[event.keyCode].keycode == 0) {
        return;
    }
    const std::int32_t keycode = pressedKeys_[event.keyCode].keycode;
    pressedKeys_[event.keyCode] = PressedKey{};
    out.push(message::key(KeyAction::up, keycode, 0, AndroidKeycode::metaState(event.modifiers)));
}

void KeyboardMousePassThrough::mouseButton(const MouseButtonEvent& event,
                                           const std::optional<VideoGeometry>& geometry,
                                           MessageList& out) {
    switch (event.button) {
        case 0:
            if (event.down) {
                if (fingerDown_ || !geometry) {
                    return;
                }
                // A click beside the picture does not touch the phone.
                const auto position = geometry->devicePositionForViewPoint(event.viewPoint);
                if (!position) {
                    return;
                }
                fingerDown_ = true;
                lastFinger_ = position;
                out.push(message::touch(MotionAction::down, PointerID::genericFinger, *position));
            } else {
                if (!fingerDown_) {
                    return;
                }
                // A release outside the picture lifts the finger at the nearest edge.
                const auto position =
                    geometry ? clampedPosition(event.viewPoint, *geometry) : lastFinger_;
                fingerDown_ = false;
                lastFinger_.reset();
                if (position) {
                    out.push(message::touch(MotionAction::up, PointerID::genericFinger, *position));
                }
            }
            return;
        case 1:
            if (event.down != rightDown_) {
                rightDown_ = event.down;
                out.push(BackOrScreenOn{event.down ? KeyAction::down : KeyAction::up});
            }
            return;
        case 2:
            if (event.down != middleDown_) {
                middleDown_ = event.down;
                out.push(
                    message::key(event.down ? KeyAction::down : KeyAction::up, homeKeycode, 0, 0));
            }
            return;
        default:
            return;
    }
}

void KeyboardMousePassThrough::mouseMoved(const MouseMovedEvent& event,
                                          const std::optional<VideoGeometry>& geometry,
                                          MessageList& out) {
    // Hovering does not touch the phone.
    if (!fingerDown_ || !geometry) {
        return;
    }
    const DevicePosition position = clampedPosition(event.viewPoint, *geometry);
    lastFinger_ = position;
    out.push(message::touch(MotionAction::move, PointerID::genericFinger, position));
}

void KeyboardMousePassThrough::scroll(const ScrollEvent& event,
                                      const std::optional<VideoGeometry>& geometry,
                                      MessageList& out) {
    if (!geometry) {
        return;
    }
    const auto position = geometry->devicePositionForViewPoint(event.viewPoint);
    if (!position) {
        return;
    }
    const float horizontal = scrollAmount(-event.dx);
    const float vertical = scrollAmount(event.dy);
    if (horizontal == 0 && vertical == 0) {
        return;
    }
    out.push(InjectScroll{*position, horizontal, vertical, 0});
}

DevicePosition KeyboardMousePassThrough::clampedPosition(PointF viewPoint,
                                                         const VideoGeometry& geometry) noexcept {
    // Clamped as fractions of the picture rather than as view coordinates: the far edge
    // computed as origin + size can round past the edge and map to nothing.
    const RectF& rect = geometry.contentRect();
    if (rect.width > 0 && rect.height > 0) {
        const double nx = (viewPoint.x - rect.x) / rect.width;
        const double ny = (viewPoint.y - rect.y) / rect.height;
        if (!std::isnan(nx) && !std::isnan(ny)) {
            return geometry.devicePositionForNormalized(
                {std::clamp(nx, 0.0, 1.0), std::clamp(ny, 0.0, 1.0)});
        }
    }
    const VideoSize& size = geometry.videoSize();
    return geometry.devicePositionForPixel({size.width / 2.0, size.height / 2.0});
}

void KeyboardMousePassThrough::videoSizeChanged(VideoSize size, MessageList& out) {
    if (!fingerDown_ || !lastFinger_) {
        return;
    }
    const DevicePosition old = *lastFinger_;
    if (size.width == old.screenWidth && size.height == old.screenHeight) {
        return;
    }
    fingerDown_ = false;
    lastFinger_.reset();
    // Lifted at the matching point of the new picture rather than moved across it.
    const double x = double(size.width) * old.x / std::max<double>(old.screenWidth, 1);
    const double y = double(size.height) * old.y / std::max<double>(old.screenHeight, 1);
    const DevicePosition position =
        VideoGeometry(size, RectF{}).devicePositionForPixel(PointF{x, y});
    out.push(message::touch(MotionAction::up, PointerID::genericFinger, position));
}

void KeyboardMousePassThrough::releaseAll(MessageList& out) {
    if (fingerDown_ && lastFinger_) {
        out.push(message::touch(MotionAction::up, PointerID::genericFinger, *lastFinger_));
    }
    if (rightDown_) {
        out.push(BackOrScreenOn{KeyAction::up});
    }
    if (middleDown_) {
        out.push(message::key(KeyAction::up, homeKeycode, 0, 0));
    }
    // Key-ups in Android key code order, whatever order the keys went down in.
    std::array<std::int32_t, 128> held{};
    std::size_t count = 0;
    for (PressedKey& pressed : pressedKeys_) {
        if (pressed.keycode != 0) {
            held[count++] = pressed.keycode;
            pressed = PressedKey{};
        }
    }
    std::sort(held.begin(), held.begin() + static_cast<std::ptrdiff_t>(count));
    for (std::size_t i = 0; i < count; ++i) {
        out.push(message::key(KeyAction::up, held[i], 0, 0));
    }
    fingerDown_ = false;
    rightDown_ = false;
    middleDown_ = false;
    lastFinger_.reset();
}

}  // namespace qm
