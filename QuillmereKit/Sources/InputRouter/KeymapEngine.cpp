#include "InputRouter/KeymapEngine.h"

#include <algorithm>
#include <cmath>
#include <type_traits>
#include <utility>
#include <variant>

#include "InputRouter/TouchMessages.h"

namespace qm {

namespace {

constexpr double deadZone = 0.15;
// A fully deflected stick at sensitivity 1 drags a look finger this far each second.
constexpr double lookPixelsPerSecond = 1200;
// A stalled main thread or a paused window counts as this long, so the finger never jumps.
constexpr std::uint64_t maxTickStep = 50'000'000;

bool listensTo(const KeymapAction::Kind& kind, Trigger trigger) noexcept {
    if (const auto* tap = std::get_if<KeymapAction::Tap>(&kind)) {
        return tap->trigger == trigger;
    }
    if (const auto* stick = std::get_if<KeymapAction::Stick>(&kind)) {
        return stick->up == trigger || stick->down == trigger || stick->left == trigger ||
               stick->right == trigger;
    }
    return false;
}

// A unit vector, or zero when opposite keys cancel; y grows downwards like the video's rows.
PointF keyVector(bool up, bool down, bool left, bool right) noexcept {
    const double x = double(right) - double(left);
    const double y = double(down) - double(up);
    const double length = std::hypot(x, y);
    return length > 0 ? PointF{x / length, y / length} : PointF{};
}

// The dead zone, with the deflection beyond it rescaled to 0...1 in the same direction. A
// stick that reads as no number or as infinite counts as centred.
std::optional<PointF> scaledStick(PointF stick) noexcept {
    const double magnitude = std::hypot(stick.x, stick.y);
    if (!(magnitude > deadZone) || !std::isfinite(magnitude)) {
        return std::nullopt;
    }
    const double scale = std::min((magnitude - deadZone) / (1 - deadZone), 1.0);
    return PointF{stick.x / magnitude * scale, stick.y / magnitude * scale};
}

PointF stickOf(StickSide side, const GamepadState& state) noexcept {
    return side == StickSide::left ? state.leftStick : state.rightStick;
}

// The edges belong to the zone.
bool contains(const RectF& zone, PointF p) noexcept {
    return p.x >= zone.x && p.x <= zone.x + zone.width && p.y >= zone.y &&
           p.y <= zone.y + zone.height;
}

PointF clamped(PointF p, const RectF& zone) noexcept {
    return {std::min(std::max(p.x, zone.x), zone.x + zone.width),
            std::min(std::max(p.y, zone.y), zone.y + zone.height)};
}

std::size_t optionSlot(std::uint16_t keyCode) noexcept {
    return static_cast<std::size_t>(std::ranges::find(MacKeyCode::options, keyCode) -
                                    MacKeyCode::options.begin());
}

}  // namespace

KeymapEngine::KeymapEngine() {
    heldTriggers_.reserve(maxHeldTriggers);
}

void KeymapEngine::reserve(std::size_t actionCount) {
    fingers_.reserve(actionCount);
}

bool KeymapEngine::optionHeld() const noexcept {
    return std::ranges::any_of(heldOptionKeys_, [](bool held) { return held; });
}

bool KeymapEngine::playsLook() const noexcept {
    return profile_ && std::ranges::any_of(profile_->actions, [](const KeymapAction& action) {
               return std::holds_alternative<KeymapAction::Look>(action.kind);
           });
}

void KeymapEngine::install(const KeymapProfile* profile) {
    profile_ = profile;
    fingers_.assign(profile ? profile->actions.size() : 0, Finger{});
}

void KeymapEngine::setProfile(const KeymapProfile* profile, MessageList& out) {
    releaseAll(out);
    install(profile);
}

void KeymapEngine::switchProfile(const KeymapProfile& profile, std::optional<Trigger> excluding,
                                 MessageList& out) {
    if (excluding) {
        std::erase(heldTriggers_, *excluding);
    }
    liftAll(out);
    lastTick_.reset();
    install(&profile);
    for (std::size_t i = 0; i < fingers_.size(); ++i) {
        refresh(i, out);
    }
}

void KeymapEngine::setGeometry(const VideoGeometry& geometry, MessageList& out) {
    const std::optional<VideoGeometry> old = std::exchange(geometry_, geometry);
    // Positions are in video pixels: a resized window alone changes nothing.
    if (!old || old->videoSize() == geometry.videoSize() || !profile_) {
        return;
    }
    const double sx = double(geometry.videoSize().width) / std::max(old->videoSize().width, 1);
    const double sy = double(geometry.videoSize().height) / std::max(old->videoSize().height, 1);
    for (std::size_t i = 0; i < fingers_.size(); ++i) {
        Finger& finger = fingers_[i];
        if (finger.down) {
            finger.down = false;
            touch(MotionAction::up, i, {sx * finger.at.x, sy * finger.at.y}, out);
        }
    }
    direct_.videoSizeChanged(geometry.videoSize(), out);
    for (std::size_t i = 0; i < fingers_.size(); ++i) {
        refresh(i, out);
    }
}

void KeymapEngine::releaseAll(MessageList& out) {
    liftAll(out);
    heldTriggers_.clear();
    heldOptionKeys_ = {};
    gamepad_ = GamepadState::neutral;
    lastTick_.reset();
}

void KeymapEngine::liftAll(MessageList& out) {
    for (std::size_t i = 0; i < fingers_.size(); ++i) {
        lift(i, out);
    }
    direct_.releaseAll(out);
}

void KeymapEngine::lift(std::size_t i, MessageList& out) {
    Finger& finger = fingers_[i];
    if (finger.down) {
        finger.down = false;
        touch(MotionAction::up, i, finger.at, out);
    }
}

void KeymapEngine::handle(const InputEvent& event, MessageList& out) {
    // Nothing is remembered before the engine can place a touch.
    if (!profile_ || !geometry_) {
        return;
    }
    std::visit(
        [&](const auto& e) {
            using E = std::decay_t<decltype(e)>;
            if constexpr (std::is_same_v<E, KeyDownEvent>) {
                keyDown(e, out);
            } else if constexpr (std::is_same_v<E, KeyUpEvent>) {
                keyUp(e, out);
            } else if constexpr (std::is_same_v<E, MouseMovedEvent>) {
                if (optionHeld()) {
                    direct_.handle(event, geometry_, out);
                }
            } else if constexpr (std::is_same_v<E, MouseDeltaEvent>) {
                if (!optionHeld()) {
                    mouseLook(e.dx, e.dy, out);
                }
            } else if constexpr (std::is_same_v<E, MouseButtonEvent>) {
                mouseButton(e, out);
            } else if constexpr (std::is_same_v<E, GamepadEvent>) {
                gamepadChanged(e.state, out);
            }
            // Scrolling maps to nothing.
        },
        event);
}

void KeymapEngine::keyDown(const KeyDownEvent& event, MessageList& out) {
    if (MacKeyCode::isOption(event.keyCode)) {
        optionChanged(event.keyCode, true, out);
    } else if (!event.isRepeat && !event.modifiers.contains(KeyModifiers::command)) {
        triggerDown(Trigger::key(event.keyCode), out);
    }
}

void KeymapEngine::keyUp(const KeyUpEvent& event, MessageList& out) {
    // Modifiers are not looked at: a key released with Super held still lifts its touches.
    if (MacKeyCode::isOption(event.keyCode)) {
        optionChanged(event.keyCode, false, out);
    } else {
        triggerUp(Trigger::key(event.keyCode), out);
    }
}

void KeymapEngine::mouseButton(const MouseButtonEvent& event, MessageList& out) {
    const Trigger trigger = Trigger::mouseButton(event.button);
    if (!event.down && isHeld(trigger)) {
        // Held before Alt went down: its tap still lifts.
        triggerUp(trigger, out);
    } else if (!optionHeld()) {
        if (event.down) {
            triggerDown(trigger, out);
        }
    } else if (event.button == 0) {
        direct_.handle(event, geometry_, out);
    }
}

void KeymapEngine::optionChanged(std::uint16_t keyCode, bool down, MessageList& out) {
    const bool wasHeld = optionHeld();
    heldOptionKeys_[optionSlot(keyCode)] = down;
    if (optionHeld() == wasHeld || !profile_) {
        return;
    }
    if (!wasHeld) {
        // Look pauses with its finger lifted; taps and sticks stay down.
        for (std::size_t i = 0; i < fingers_.size(); ++i) {
            if (std::holds_alternative<KeymapAction::Look>(profile_->actions[i].kind)) {
                lift(i, out);
            }
        }
    } else {
        direct_.releaseAll(out);
    }
}

void KeymapEngine::mouseLook(double dx, double dy, MessageList& out) {
    for (std::size_t i = 0; i < fingers_.size(); ++i) {
        if (const auto* look = std::get_if<KeymapAction::Look>(&profile_->actions[i].kind)) {
            this->look(i, dx * look->sensitivity, dy * look->sensitivity, out);
        }
    }
}

void KeymapEngine::look(std::size_t i, double dx, double dy, MessageList& out) {
    if (!profile_ || !geometry_ || !std::isfinite(dx) || !std::isfinite(dy)) {
        return;
    }
    const auto* action = std::get_if<KeymapAction::Look>(&profile_->actions[i].kind);
    if (!action) {
        return;
    }
    const PointF centre = pixels(action->center);
    const PointF origin = pixels({action->zone.x, action->zone.y});
    const PointF extent = pixels({action->zone.width, action->zone.height});
    const RectF zone = RectF{origin.x, origin.y, extent.x, extent.y}.standardized();

    Finger& finger = fingers_[i];
    PointF target{finger.at.x + dx, finger.at.y + dy};
    if (finger.down && contains(zone, target)) {
        move(i, finger.at, target, out);
    } else {
        // Leaving the zone lifts the finger and puts it down at the centre, like a thumb
        // starting a new swipe; the step continues from there.
        if (finger.down) {
            touch(MotionAction::up, i, finger.at, out);
        }
        touch(MotionAction::down, i, centre, out);
        target = clamped({centre.x + dx, centre.y + dy}, zone);
        move(i, centre, target, out);
    }
    finger = Finger{target, true};
}

void KeymapEngine::tick(std::uint64_t now, MessageList& out) {
    const std::optional<std::uint64_t> last = std::exchange(lastTick_, now);
    // Time running backwards gives no motion and re-bases the clock.
    if (!last || now <= *last || optionHeld() || !profile_) {
        return;
    }
    const double seconds = double(std::min(now - *last, maxTickStep)) / 1e9;
    for (std::size_t i = 0; i < fingers_.size(); ++i) {
        const auto* action = std::get_if<KeymapAction::Look>(&profile_->actions[i].kind);
        if (!action || !action->gamepadStick) {
            continue;
        }
        if (const auto v = scaledStick(stickOf(*action->gamepadStick, gamepad_))) {
            const double step = seconds * action->sensitivity * lookPixelsPerSecond;
            look(i, step * v->x, step * v->y, out);
        }
    }
}

void KeymapEngine::gamepadChanged(const GamepadState& state, MessageList& out) {
    const GamepadState old = std::exchange(gamepad_, state);
    // Analogue trigger travel is not used: l2 and r2 count through their button bits.
    for (const GamepadButtonName& entry : GamepadButtons::names()) {
        const bool now = state.buttons.contains(entry.button);
        if (now != old.buttons.contains(entry.button)) {
            const Trigger trigger = Trigger::gamepad(entry.button);
            now ? triggerDown(trigger, out) : triggerUp(trigger, out);
        }
    }
    for (std::size_t i = 0; i < fingers_.size(); ++i) {
        const auto* stick = std::get_if<KeymapAction::Stick>(&profile_->actions[i].kind);
        if (stick && stick->gamepadStick &&
            stickOf(*stick->gamepadStick, state) != stickOf(*stick->gamepadStick, old)) {
            refresh(i, out);
        }
    }
}

bool KeymapEngine::isHeld(Trigger trigger) const noexcept {
    return std::ranges::find(heldTriggers_, trigger) != heldTriggers_.end();
}

void KeymapEngine::triggerDown(Trigger trigger, MessageList& out) {
    if (isHeld(trigger) || heldTriggers_.size() == maxHeldTriggers) {
        return;
    }
    heldTriggers_.push_back(trigger);
    refreshActions(trigger, out);
}

void KeymapEngine::triggerUp(Trigger trigger, MessageList& out) {
    const auto it = std::ranges::find(heldTriggers_, trigger);
    if (it == heldTriggers_.end()) {
        return;
    }
    *it = heldTriggers_.back();
    heldTriggers_.pop_back();
    refreshActions(trigger, out);
}

void KeymapEngine::refreshActions(Trigger trigger, MessageList& out) {
    for (std::size_t i = 0; i < fingers_.size(); ++i) {
        if (listensTo(profile_->actions[i].kind, trigger)) {
            refresh(i, out);
        }
    }
}

void KeymapEngine::refresh(std::size_t i, MessageList& out) {
    if (!profile_ || !geometry_) {
        return;
    }
    const KeymapAction::Kind& kind = profile_->actions[i].kind;
    Finger& finger = fingers_[i];
    if (const auto* tap = std::get_if<KeymapAction::Tap>(&kind)) {
        const bool held = isHeld(tap->trigger);
        if (held && !finger.down) {
            finger = Finger{pixels(tap->at), true};
            touch(MotionAction::down, i, finger.at, out);
        } else if (!held) {
            lift(i, out);
        }
    } else if (const auto* stick = std::get_if<KeymapAction::Stick>(&kind)) {
        const bool up = isHeld(stick->up);
        const bool down = isHeld(stick->down);
        const bool left = isHeld(stick->left);
        const bool right = isHeld(stick->right);
        // Held keys win over the controller stick.
        std::optional<PointF> vector;
        if (up || down || left || right) {
            vector = keyVector(up, down, left, right);
        } else if (stick->gamepadStick) {
            vector = scaledStick(stickOf(*stick->gamepadStick, gamepad_));
        }
        if (vector) {
            moveStick(i, *stick, *vector, out);
        } else {
            lift(i, out);
        }
    }
    // Look fingers move only with motion.
}

void KeymapEngine::moveStick(std::size_t i, const KeymapAction::Stick& stick, PointF vector,
                             MessageList& out) {
    const PointF centre = pixels(stick.center);
    // Radius in widths on both axes, so that the stick's circle is round in pixels.
    const double radius = stick.radius * (geometry_ ? geometry_->videoSize().width : 0);
    Finger& finger = fingers_[i];
    if (!finger.down) {
        finger = Finger{centre, true};
        touch(MotionAction::down, i, centre, out);
    }
    const PointF target{centre.x + radius * vector.x, centre.y + radius * vector.y};
    move(i, finger.at, target, out);
    finger.at = target;
}

PointF KeymapEngine::pixels(PointF normalized) const noexcept {
    const VideoSize size = geometry_ ? geometry_->videoSize() : VideoSize{};
    return {normalized.x * size.width, normalized.y * size.height};
}

DevicePosition KeymapEngine::position(PointF pixel) const noexcept {
    static const VideoGeometry noGeometry(VideoSize{}, RectF{});
    return (geometry_ ? *geometry_ : noGeometry).devicePositionForPixel(pixel);
}

void KeymapEngine::touch(MotionAction action, std::size_t i, PointF pixel, MessageList& out) const {
    out.push(message::touch(action, std::uint64_t(i) + 1, position(pixel)));
}

// Sent only when the finger lands on another device pixel; the caller still stores the exact
// target, so slow motion adds up.
void KeymapEngine::move(std::size_t i, PointF from, PointF to, MessageList& out) const {
    const DevicePosition target = position(to);
    if (position(from) != target) {
        out.push(message::touch(MotionAction::move, std::uint64_t(i) + 1, target));
    }
}

}  // namespace qm
