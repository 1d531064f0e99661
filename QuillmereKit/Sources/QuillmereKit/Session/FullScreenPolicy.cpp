#include "QuillmereKit/Session/FullScreenPolicy.h"

namespace qm {

FullScreenPolicy::Command FullScreenPolicy::phaseChanged(const SessionPhase& phase, bool enabled,
                                                         bool isFullScreen) {
    switch (phase.kind()) {
        case SessionPhase::Kind::waitingForDevice:
        case SessionPhase::Kind::starting:
            return Command::none;
        case SessionPhase::Kind::streaming:
            if (!armed) {
                return Command::none;
            }
            armed = false;
            if (!enabled || isFullScreen) {
                return Command::none;
            }
            autoEntered = true;
            return Command::enter;
        case SessionPhase::Kind::idle:
        case SessionPhase::Kind::failed:
            break;
    }
    return streamEnded();
}

FullScreenPolicy::Command FullScreenPolicy::streamEnded() {
    if (!autoEntered) {
        return Command::none;
    }
    autoEntered = false;
    return Command::exit;
}

void FullScreenPolicy::windowFullScreenChanged(bool isFullScreen) {
    // A user who left full screen by hand is neither put back nor taken out later.
    if (!isFullScreen) {
        autoEntered = false;
    }
}

}  // namespace qm
