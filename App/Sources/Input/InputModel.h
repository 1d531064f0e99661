#pragma once

#include <cstdint>
#include <functional>

#include "QuillmereCore/HostClock.h"
#include "QuillmereKit/Session/InputSession.h"

namespace qm {

class AppSettings;
class InputCoordinator;
class KeymapController;
class OverlayFrameRegistry;

// What the input coordinator uses of the app model. The model is also a QObject, so that the
// coordinator notices when it is gone. GUI thread only.
class InputModel {
public:
    virtual ~InputModel() = default;

    // The current session; none while nothing streams.
    virtual InputSession* session() const = 0;
    virtual AppSettings* settings() const = 0;
    // The host clock in nanoseconds, which input times the player's idleness by.
    virtual std::function<std::uint64_t()> hostClock() const { return HostClock::nowNanos; }
    virtual OverlayFrameRegistry* overlayFrames() const = 0;
    // The keymap controller of the stream window that has input, for the menus.
    virtual KeymapController* streamKeymap() const = 0;
    virtual void setStreamKeymap(KeymapController* keymap) = 0;
    // Where the HUD's control-mode menu sends its requests.
    virtual InputCoordinator* modeRequester() const = 0;
    virtual void setModeRequester(InputCoordinator* coordinator) = 0;
    // Whether the stream window holds the pointer, hidden, for the game.
    virtual void setPointerCaptured(bool captured) = 0;
    // Stops the stream and leaves the stream screen, once unsaved layout edits were asked about.
    virtual void closeStream() = 0;
};

}  // namespace qm
