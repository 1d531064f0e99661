#include "InputRouter/KeymapLayoutSwitcher.h"

#include <algorithm>
#include <type_traits>
#include <utility>
#include <variant>

namespace qm {

void KeymapLayoutSwitcher::setLayouts(std::vector<KeymapLayout> layouts, std::size_t active,
                                      MessageList& out) {
    // The old fingers lift while the profile they belong to still exists.
    engine_.setProfile(nullptr, out);
    layouts_ = std::move(layouts);
    activeIndex_ = active < layouts_.size() ? active : 0;

    switchTargets_.clear();
    std::size_t mostActions = 0;
    for (std::size_t i = 0; i < layouts_.size(); ++i) {
        const KeymapLayout& layout = layouts_[i];
        if (layout.switchTrigger && !target(*layout.switchTrigger)) {
            switchTargets_.push_back({*layout.switchTrigger, i});
        }
        mostActions = std::max(mostActions, layout.profile.actions.size());
    }
    engine_.reserve(mostActions);
    engine_.setProfile(layouts_.empty() ? nullptr : &layouts_[activeIndex_].profile, out);
}

bool KeymapLayoutSwitcher::select(std::size_t index, MessageList& out) {
    if (index >= layouts_.size() || index == activeIndex_) {
        return false;
    }
    switchTo(index, std::nullopt, out);
    return true;
}

void KeymapLayoutSwitcher::activateMain(MessageList& out) {
    if (layouts_.empty() || activeIndex_ == 0) {
        return;
    }
    activeIndex_ = 0;
    engine_.setProfile(&layouts_[0].profile, out);
}

void KeymapLayoutSwitcher::handle(const InputEvent& event, MessageList& out) {
    const std::optional<SwitchTarget> switching = switchTarget(event);
    // The press acts in the current layout first: a switch key that is also a tap here
    // presses it, and the switch lifts it again.
    engine_.handle(event, out);
    if (switching && switching->index != activeIndex_) {
        switchTo(switching->index, switching->trigger, out);
    }
}

void KeymapLayoutSwitcher::switchTo(std::size_t index, std::optional<Trigger> excluding,
                                    MessageList& out) {
    activeIndex_ = index;
    engine_.switchProfile(layouts_[index].profile, excluding, out);
}

std::optional<KeymapLayoutSwitcher::SwitchTarget> KeymapLayoutSwitcher::target(
    Trigger trigger) const noexcept {
    const auto it = std::ranges::find(switchTargets_, trigger, &SwitchTarget::trigger);
    return it == switchTargets_.end() ? std::nullopt : std::optional(*it);
}

std::optional<KeymapLayoutSwitcher::SwitchTarget> KeymapLayoutSwitcher::switchTarget(
    const InputEvent& event) const noexcept {
    if (switchTargets_.empty()) {
        return std::nullopt;
    }
    return std::visit(
        [&](const auto& e) -> std::optional<SwitchTarget> {
            using E = std::decay_t<decltype(e)>;
            if constexpr (std::is_same_v<E, KeyDownEvent>) {
                // Super shortcuts belong to this computer.
                if (e.isRepeat || e.modifiers.contains(KeyModifiers::command)) {
                    return std::nullopt;
                }
                return target(Trigger::key(e.keyCode));
            } else if constexpr (std::is_same_v<E, MouseButtonEvent>) {
                // With Alt held, clicks belong to the pass-through.
                if (!e.down || engine_.optionHeld()) {
                    return std::nullopt;
                }
                return target(Trigger::mouseButton(e.button));
            } else if constexpr (std::is_same_v<E, GamepadEvent>) {
                const GamepadButtons pressed = e.state.buttons - engine_.gamepadButtons();
                for (const GamepadButtonName& entry : GamepadButtons::names()) {
                    if (pressed.contains(entry.button)) {
                        if (auto found = target(Trigger::gamepad(entry.button))) {
                            return found;
                        }
                    }
                }
                return std::nullopt;
            } else {
                return std::nullopt;
            }
        },
        event);
}

}  // namespace qm
