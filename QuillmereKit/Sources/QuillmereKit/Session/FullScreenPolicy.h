#pragma once

#include "QuillmereKit/Session/SessionTypes.h"

namespace qm {

// Puts the stream window into full screen once, when its stream first streams, and takes it out
// when the stream ends, but only if it was this policy that entered and the user has not left
// full screen by hand since. The window performs the commands; one policy per stream window.
struct FullScreenPolicy {
    enum class Command { none, enter, exit };

    // The window is in full screen because this policy asked for it.
    bool autoEntered = false;
    // No streaming phase seen yet: a reconnection that streams again does not re-enter.
    bool armed = true;

    // `enabled`: the user's automatic full screen setting; `isFullScreen`: the window now.
    Command phaseChanged(const SessionPhase& phase, bool enabled, bool isFullScreen);
    // The stream window is closing.
    Command streamEnded();
    void windowFullScreenChanged(bool isFullScreen);

    bool operator==(const FullScreenPolicy&) const = default;
};

}  // namespace qm
