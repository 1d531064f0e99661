#include "Stream/StreamGamingController.h"

#include <utility>

namespace qm {

StreamGamingController::StreamGamingController(StreamActivityPolicy activity)
    : activity_(std::move(activity)) {}

StreamGamingController::~StreamGamingController() {
    detachWindow();
}

void StreamGamingController::attach(GamingWindow* window) {
    if (window == window_) {
        return;
    }
    detachWindow();
    window_ = window;
    if (!window_) {
        return;
    }
    window_->setOnFullScreenChange([this] { fullScreen_.windowFullScreenChanged(isFullScreen()); });
    if (std::exchange(pendingEnter_, false)) {
        perform(FullScreenPolicy::Command::enter);
    }
}

void StreamGamingController::phaseChanged(const SessionPhase& phase, bool autoFullScreen,
                                          bool keepDisplayAwake) {
    phase_ = phase;
    activity_.update(phase_, keepDisplayAwake);
    if (replacing_ && phase_.kind() == SessionPhase::Kind::idle) {
        return;
    }
    replacing_ = false;
    perform(fullScreen_.phaseChanged(phase_, autoFullScreen, isFullScreen()));
}

void StreamGamingController::streamReplaced() {
    fullScreen_.armed = true;
    replacing_ = true;
}

void StreamGamingController::keepDisplayAwakeChanged(bool keepDisplayAwake) {
    activity_.update(phase_, keepDisplayAwake);
}

void StreamGamingController::streamViewClosed() {
    activity_.end();
    perform(fullScreen_.streamEnded());
    detachWindow();
    pendingEnter_ = false;
}

void StreamGamingController::perform(FullScreenPolicy::Command command) {
    switch (command) {
        case FullScreenPolicy::Command::none:
            break;
        case FullScreenPolicy::Command::enter:
            if (!window_) {
                pendingEnter_ = true;
            } else if (!window_->isFullScreen()) {
                window_->toggleFullScreen();
            }
            break;
        case FullScreenPolicy::Command::exit:
            pendingEnter_ = false;
            if (isFullScreen()) {
                window_->toggleFullScreen();
            }
            break;
    }
}

void StreamGamingController::detachWindow() {
    if (window_) {
        window_->setOnFullScreenChange({});
        window_ = nullptr;
    }
}

}  // namespace qm
