#pragma once

#include <functional>

#include "QuillmereKit/Session/FullScreenPolicy.h"
#include "QuillmereKit/Session/SessionTypes.h"
#include "QuillmereKit/Session/StreamActivityPolicy.h"

namespace qm {

// The stream window as the gaming controller drives it.
class GamingWindow {
public:
    virtual ~GamingWindow() = default;
    virtual bool isFullScreen() const = 0;
    virtual void toggleFullScreen() = 0;
    // Called after every entry into or exit from full screen, whoever caused it; an empty
    // handler unsubscribes.
    virtual void setOnFullScreenChange(std::function<void()> handler) = 0;
};

// While a game streams, puts the stream window into full screen once and keeps the display
// awake, and undoes both when the stream ends or its screen closes. The window may be known
// only after the first phase: an early enter waits for it. One per stream screen; GUI thread.
class StreamGamingController {
public:
    explicit StreamGamingController(StreamActivityPolicy activity = StreamActivityPolicy());
    ~StreamGamingController();

    StreamGamingController(const StreamGamingController&) = delete;
    StreamGamingController& operator=(const StreamGamingController&) = delete;

    // The window must stay alive until another one is attached or the screen closes.
    void attach(GamingWindow* window);
    void phaseChanged(const SessionPhase& phase, bool autoFullScreen, bool keepDisplayAwake);
    void keepDisplayAwakeChanged(bool keepDisplayAwake);
    // Another session's stream takes the screen (the demo started again): it starts as the
    // first did, and the idle phase it begins in is not the end of the one it replaces.
    void streamReplaced();
    void streamViewClosed();

    bool isActivityHeld() const noexcept { return activity_.isActive(); }

private:
    bool isFullScreen() const { return window_ && window_->isFullScreen(); }
    void perform(FullScreenPolicy::Command command);
    void detachWindow();

    FullScreenPolicy fullScreen_;
    StreamActivityPolicy activity_;
    GamingWindow* window_ = nullptr;
    SessionPhase phase_;
    bool pendingEnter_ = false;
    bool replacing_ = false;
};

}  // namespace qm
