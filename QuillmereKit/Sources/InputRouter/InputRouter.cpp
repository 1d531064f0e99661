#include "InputRouter/InputRouter.h"

#include <utility>

#include "InputRouter/GameKeymaps.h"
#include "QuillmereCore/Log.h"

namespace qm {

InputRouter::InputRouter(Send send) : send_(std::move(send)) {}

template <typename Produce>
void InputRouter::run(Produce&& produce) {
    messages_.clear();
    produce(messages_);
    for (const ControlMessage& message : messages_) {
        send_(message);
    }
}

void InputRouter::enter(InputMode mode, MessageList& out) {
    if (mode == InputMode::macGamepad) {
        gamepad_.enter(out);
    }
}

void InputRouter::leave(InputMode mode, MessageList& out) {
    if (mode == InputMode::macGamepad) {
        gamepad_.leave(out);
    } else {
        release(mode, out);
    }
}

void InputRouter::release(InputMode mode, MessageList& out) {
    switch (mode) {
        case InputMode::phoneGamepad:
            return;
        case InputMode::macGamepad:
            gamepad_.releaseAll(out);
            return;
        case InputMode::keyboardMouse:
            direct_.releaseAll(out);
            return;
        case InputMode::keymap:
            keymap_.releaseAll(out);
            return;
    }
}

void InputRouter::setMode(InputMode mode) {
    if (mode == mode_) {
        return;
    }
    Log::input().info("input mode {} -> {}", logName(mode_), logName(mode));
    run([&](MessageList& out) {
        leave(mode_, out);
        mode_ = mode;
        if (mode == InputMode::keymap) {
            keymap_.activateMain(out);
        }
        enter(mode, out);
    });
}

void InputRouter::setGeometry(const VideoGeometry& geometry) {
    geometry_ = geometry;
    run([&](MessageList& out) {
        direct_.videoSizeChanged(geometry.videoSize(), out);
        keymap_.setGeometry(geometry, out);
    });
}

void InputRouter::setLayouts(std::vector<KeymapLayout> layouts, std::size_t active) {
    run([&](MessageList& out) { keymap_.setLayouts(std::move(layouts), active, out); });
}

void InputRouter::setProfile(std::optional<KeymapProfile> profile) {
    setLayouts(profile ? GameKeymaps::migrating(std::move(*profile), "").layouts
                       : std::vector<KeymapLayout>(),
               0);
}

bool InputRouter::selectLayout(std::size_t index) {
    if (mode_ != InputMode::keymap) {
        return false;
    }
    bool switched = false;
    run([&](MessageList& out) { switched = keymap_.select(index, out); });
    if (switched) {
        reportLayoutSwitch();
    }
    return switched;
}

bool InputRouter::wantsCursorCapture() const noexcept {
    return mode_ == InputMode::keymap && keymap_.wantsCursorCapture();
}

bool InputRouter::playsLook() const noexcept {
    return mode_ == InputMode::keymap && keymap_.playsLook();
}

void InputRouter::tick(std::uint64_t now) {
    // Controller-stick look stops as soon as the mode changes.
    if (mode_ == InputMode::keymap) {
        run([&](MessageList& out) { keymap_.tick(now, out); });
    }
}

void InputRouter::handle(const InputEvent& event) {
    switch (mode_) {
        case InputMode::phoneGamepad:
            return;
        case InputMode::macGamepad:
            if (const auto* sample = std::get_if<GamepadEvent>(&event)) {
                run([&](MessageList& out) { gamepad_.update(sample->state, out); });
            }
            return;
        case InputMode::keyboardMouse:
            run([&](MessageList& out) { direct_.handle(event, geometry_, out); });
            return;
        case InputMode::keymap: {
            const std::size_t before = keymap_.activeIndex();
            run([&](MessageList& out) { keymap_.handle(event, out); });
            if (keymap_.activeIndex() != before) {
                reportLayoutSwitch();
            }
            return;
        }
    }
}

void InputRouter::releaseAll() {
    run([&](MessageList& out) { release(mode_, out); });
}

void InputRouter::resync() {
    run([&](MessageList& out) {
        leave(mode_, out);
        enter(mode_, out);
    });
}

void InputRouter::reportLayoutSwitch() {
    Log::input().info("keymap layout {}", keymap_.activeIndex());
    if (onLayoutSwitch_) {
        onLayoutSwitch_(keymap_.activeIndex());
    }
}

}  // namespace qm
