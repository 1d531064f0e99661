#include "KeymapEditorModel.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <variant>

#include "InputRouter/MacKeyCode.h"
#include "InputRouter/ProfileCodec.h"

namespace qm {

namespace {

bool isFinite(PointF point) {
    return std::isfinite(point.x) && std::isfinite(point.y);
}

double clampUnit(double value) {
    return std::isfinite(value) ? std::clamp(value, 0.0, 1.0) : 0.5;
}

PointF clampUnit(PointF point) {
    return {clampUnit(point.x), clampUnit(point.y)};
}

// An origin that keeps a side of `length` inside 0...1. The sum origin + length computed from it
// never rounds above 1, so the codec's check holds.
double clampOrigin(double origin, double length) {
    return std::min(std::max(origin, 0.0), 1.0 - length);
}

// Within the zone as the codec measures it, so rounding never puts the centre outside.
PointF clampInto(PointF point, const RectF& zone) {
    return {std::clamp(point.x, zone.x, zone.x + zone.width),
            std::clamp(point.y, zone.y, zone.y + zone.height)};
}

// Finite values only.
RectF clampZone(RectF zone) {
    zone = zone.standardized();
    const double width = std::clamp(zone.width, KeymapEditorModel::minZoneSide, 1.0);
    const double height = std::clamp(zone.height, KeymapEditorModel::minZoneSide, 1.0);
    return {clampOrigin(zone.x, width), clampOrigin(zone.y, height), width, height};
}

// The first button in the files' order, so buttons pressed together give one trigger.
std::optional<GamepadButtons> firstButton(GamepadButtons pressed) {
    for (const GamepadButtonName& named : GamepadButtons::names()) {
        if (pressed.contains(named.button)) {
            return named.button;
        }
    }
    return std::nullopt;
}

}  // namespace

KeymapEditorModel::KeymapEditorModel(KeymapProfile profile)
    : profile_(profile), original_(std::move(profile)) {}

bool KeymapEditorModel::hasLook() const {
    return std::ranges::any_of(profile_.actions, [](const KeymapAction& action) {
        return std::holds_alternative<KeymapAction::Look>(action.kind);
    });
}

const KeymapAction* KeymapEditorModel::action(const UUID& id) const {
    const auto found = std::ranges::find(profile_.actions, id, &KeymapAction::id);
    return found == profile_.actions.end() ? nullptr : &*found;
}

std::optional<UUID> KeymapEditorModel::addTap(Trigger trigger, PointF at) {
    return append(KeymapAction::Tap{trigger, clampUnit(at)});
}

std::optional<UUID> KeymapEditorModel::addStick(PointF at) {
    // W, S, A and D by their Mac key codes.
    return append(KeymapAction::Stick{Trigger::key(13), Trigger::key(1), Trigger::key(0),
                                      Trigger::key(2), StickSide::left, clampUnit(at),
                                      newStickRadius});
}

std::optional<UUID> KeymapEditorModel::addLook() {
    if (hasLook()) {
        return std::nullopt;
    }
    // The right half of the frame.
    return append(KeymapAction::Look{{0.75, 0.5}, {0.5, 0.0, 0.5, 1.0}, 1.0, StickSide::right});
}

void KeymapEditorModel::move(const UUID& id, PointF to) {
    if (!isFinite(to)) {
        return;
    }
    update(id, [&](KeymapAction::Kind& kind) {
        if (auto* tap = std::get_if<KeymapAction::Tap>(&kind)) {
            tap->at = clampUnit(to);
        } else if (auto* stick = std::get_if<KeymapAction::Stick>(&kind)) {
            stick->center = clampUnit(to);
        } else if (auto* look = std::get_if<KeymapAction::Look>(&kind)) {
            RectF& zone = look->zone;
            const PointF origin{zone.x, zone.y};
            zone.x = clampOrigin(zone.x + to.x - look->center.x, zone.width);
            zone.y = clampOrigin(zone.y + to.y - look->center.y, zone.height);
            // The centre keeps its place inside the zone.
            look->center = clampInto(
                {look->center.x + zone.x - origin.x, look->center.y + zone.y - origin.y}, zone);
        }
    });
}

void KeymapEditorModel::setStickRadius(const UUID& id, double radius) {
    if (!std::isfinite(radius)) {
        return;
    }
    update(id, [&](KeymapAction::Kind& kind) {
        if (auto* stick = std::get_if<KeymapAction::Stick>(&kind)) {
            stick->radius = std::clamp(radius, minStickRadius, ProfileCodec::maxStickRadius);
        }
    });
}

void KeymapEditorModel::setLookZone(const UUID& id, RectF zone) {
    if (!std::isfinite(zone.x) || !std::isfinite(zone.y) || !std::isfinite(zone.width) ||
        !std::isfinite(zone.height)) {
        return;
    }
    update(id, [&](KeymapAction::Kind& kind) {
        if (auto* look = std::get_if<KeymapAction::Look>(&kind)) {
            look->zone = clampZone(zone);
            look->center = clampInto(look->center, look->zone);
        }
    });
}

void KeymapEditorModel::setSensitivity(const UUID& id, double value) {
    if (!std::isfinite(value)) {
        return;
    }
    update(id, [&](KeymapAction::Kind& kind) {
        if (auto* look = std::get_if<KeymapAction::Look>(&kind)) {
            look->sensitivity = std::clamp(value, minSensitivity, ProfileCodec::maxSensitivity);
        }
    });
}

void KeymapEditorModel::assign(Trigger trigger, const UUID& id, TriggerSlot slot) {
    update(id, [&](KeymapAction::Kind& kind) {
        if (auto* tap = std::get_if<KeymapAction::Tap>(&kind)) {
            if (slot == TriggerSlot::tap) {
                tap->trigger = trigger;
            }
        } else if (auto* stick = std::get_if<KeymapAction::Stick>(&kind)) {
            switch (slot) {
                case TriggerSlot::up:
                    stick->up = trigger;
                    break;
                case TriggerSlot::down:
                    stick->down = trigger;
                    break;
                case TriggerSlot::left:
                    stick->left = trigger;
                    break;
                case TriggerSlot::right:
                    stick->right = trigger;
                    break;
                case TriggerSlot::tap:
                    break;
            }
        }
    });
}

void KeymapEditorModel::remove(const UUID& id) {
    if (!action(id)) {
        return;
    }
    commit([&](KeymapProfile& profile) {
        std::erase_if(profile.actions, [&](const auto& each) { return each.id == id; });
    });
    if (selection_ == id) {
        selection_.reset();
    }
}

void KeymapEditorModel::applyTemplate(const KeymapProfile& templateProfile) {
    commit([&](KeymapProfile& profile) {
        profile.orientation = templateProfile.orientation;
        profile.actions = templateProfile.actions;
    });
    selection_.reset();
}

void KeymapEditorModel::setShowLabels(bool show) {
    commit([&](KeymapProfile& profile) { profile.showLabels = show; });
}

void KeymapEditorModel::undo() {
    if (undoStack_.empty()) {
        return;
    }
    profile_ = std::move(undoStack_.back());
    undoStack_.pop_back();
    if (selection_ && !action(*selection_)) {
        selection_.reset();
    }
}

std::optional<KeymapEditorModel::CaptureResult> KeymapEditorModel::captureResult(
    const InputEvent& event) {
    if (const auto* key = std::get_if<KeyDownEvent>(&event)) {
        if (key->keyCode == MacKeyCode::escape) {
            return CaptureResult::cancel();
        }
        if (key->isRepeat || MacKeyCode::isOption(key->keyCode)) {
            return std::nullopt;
        }
        return CaptureResult{Trigger::key(key->keyCode)};
    }
    if (const auto* mouse = std::get_if<MouseButtonEvent>(&event)) {
        if (!mouse->down || mouse->button < 0 || mouse->button > 2) {
            return std::nullopt;
        }
        return CaptureResult{Trigger::mouseButton(mouse->button)};
    }
    if (const auto* gamepad = std::get_if<GamepadEvent>(&event)) {
        if (const auto button = firstButton(gamepad->state.buttons)) {
            return CaptureResult{Trigger::gamepad(*button)};
        }
    }
    return std::nullopt;
}

template <typename Change>
void KeymapEditorModel::commit(Change change) {
    KeymapProfile changed = profile_;
    change(changed);
    if (changed == profile_) {
        return;
    }
    if (undoStack_.size() >= undoLimit) {
        undoStack_.erase(undoStack_.begin());
    }
    undoStack_.push_back(std::exchange(profile_, std::move(changed)));
}

template <typename Change>
void KeymapEditorModel::update(const UUID& id, Change change) {
    const auto found = std::ranges::find(profile_.actions, id, &KeymapAction::id);
    if (found == profile_.actions.end()) {
        return;
    }
    const auto index = static_cast<std::size_t>(found - profile_.actions.begin());
    commit([&](KeymapProfile& profile) { change(profile.actions[index].kind); });
}

std::optional<UUID> KeymapEditorModel::append(KeymapAction::Kind kind) {
    // What the file keeps: a layout with more could be neither saved nor exported.
    if (profile_.actions.size() >= KeymapProfile::maxActions) {
        return std::nullopt;
    }
    const UUID id = UUID::random();
    commit([&](KeymapProfile& profile) { profile.actions.push_back({id, std::move(kind)}); });
    selection_ = id;
    return id;
}

}  // namespace qm
