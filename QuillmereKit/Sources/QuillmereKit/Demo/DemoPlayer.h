#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <thread>

#include "QuillmereCore/TaskClock.h"
#include "QuillmereCore/ThreadPriority.h"
#include "QuillmereKit/Demo/DemoSource.h"
#include "QuillmereKit/Video/VideoStage.h"
#include "VideoPipeline/VideoDecoder.h"

namespace qm {

// Plays a demo capture through the video stage's current decoder on a thread of its own,
// "demo", looping until stopped. Every pass after the first starts on a fresh decoder, which
// the player installs in the stage itself rather than ask the owner's thread, which may be
// the one stopping it. Made and stopped on the owner's thread.
class DemoPlayer {
public:
    // Bound by the owner to the stream the demo belongs to.
    using DecoderFactory = std::function<std::shared_ptr<VideoDecoder>()>;
    // On the player's thread, with what ended the play by itself: a malformed packet, a
    // capture without timed packets. Not called once stop() was asked for.
    using EndHandler = std::function<void(std::exception_ptr)>;

    // Starts at once on the stage's current decoder, the thread given the priority of frames
    // the user looks at. The stage must outlive the player.
    DemoPlayer(DemoSource source, VideoStage& stage, DecoderFactory makeDecoder, EndHandler onEnded,
               TaskClock clock = {}, SetThreadPriority setPriority = {});
    ~DemoPlayer();
    DemoPlayer(const DemoPlayer&) = delete;
    DemoPlayer& operator=(const DemoPlayer&) = delete;

    // Cuts the current wait short and joins the thread; never from the callbacks.
    void stop();
    // Cuts the current wait short without waiting: the thread ends before its next packet, and
    // the owner joins it where waiting does no harm, by letting the player go there.
    void requestStop() noexcept { thread_.request_stop(); }

private:
    void run(const std::stop_token& stop);

    const DemoSource source_;
    VideoStage& stage_;
    const DecoderFactory makeDecoder_;
    const EndHandler onEnded_;
    const TaskClock clock_;
    const SetThreadPriority setPriority_;
    std::jthread thread_;  // last: started once the state above exists
};

}  // namespace qm
