#pragma once

#include <optional>

#include "InputRouter/InputRouter.h"
#include "QuillmereCore/VideoGeometry.h"
#include "QuillmereKit/Session/SessionTypes.h"

namespace qm {

// What a stream window's input reads of a streaming session: its router, its phase and where
// its video sits. A session is also a QObject, so that a reader notices when it is gone. GUI
// thread only.
class InputSession {
public:
    virtual ~InputSession() = default;

    // The one router of the session's whole life.
    virtual InputRouter& input() = 0;
    // As RecordingSession has it, so one session serves both.
    virtual SessionPhase phase() const = 0;
    // Where the video sits in the view, once known.
    virtual const std::optional<VideoGeometry>& videoGeometry() const noexcept = 0;
};

}  // namespace qm
