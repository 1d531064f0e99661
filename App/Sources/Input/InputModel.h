#pragma once

#include <optional>

#include "InputRouter/InputRouter.h"
#include "QuillmereCore/VideoGeometry.h"
#include "QuillmereKit/SessionTypes.h"

namespace qm {

class AppSettings;
class InputCoordinator;
class KeymapController;
class OverlayFrameRegistry;

// What the input coordinator reads of a streaming session. A session is also a QObject, so
// that the coordinator notices when it is gone. GUI thread only.
class InputSession {
public:
    virtual ~InputSession() = default;

    // The one router of the session's whole life.
    virtual InputRouter& input() = 0;
    virtual const SessionPhase& phase() const noexcept = 0;
    // Where the video sits in the view, once known.
    virtual const std::optional<VideoGeometry>& videoGeometry() const noexcept = 0;
};

// What the input coordinator uses of the app model. The model is also a QObject, so that the
// coordinator notices when it is gone. GUI thread only.
class InputModel {
public:
    virtual ~InputModel() = default;

    // The current session; none while nothing streams.
    virtual InputSession* session() const = 0;
    virtual AppSettings* settings() const = 0;
    virtual OverlayFrameRegistry* overlayFrames() const = 0;
    // The keymap controller of the stream window that has input, for the menus.
    virtual KeymapController* streamKeymap() const = 0;
    virtual void setStreamKeymap(KeymapController* keymap) = 0;
    // Where the HUD's control-mode menu sends its requests.
    virtual InputCoordinator* modeRequester() const = 0;
    virtual void setModeRequester(InputCoordinator* coordinator) = 0;
    // Stops the stream and leaves the stream screen.
    virtual void closeStream() = 0;
};

}  // namespace qm
