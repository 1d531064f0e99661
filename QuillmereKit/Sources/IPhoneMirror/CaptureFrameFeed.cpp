#include "IPhoneMirror/CaptureFrameFeed.h"

#include <utility>

#include "QuillmereCore/HostClock.h"

namespace qm {

CaptureFrameFeed::CaptureFrameFeed(Executor& queue, FrameHandler onFrame)
    : queue_(queue), onFrame_(std::move(onFrame)) {}

void CaptureFrameFeed::push(QVideoFrame frame) {
    const std::uint64_t now = HostClock::nowNanos();
    bool post = false;
    std::optional<QVideoFrame> replaced;  // released after the lock
    {
        std::lock_guard lock(mutex_);
        replaced = std::exchange(waiting_, std::move(frame));
        waitingArrivedAt_ = now;
        post = !std::exchange(posted_, true);
    }
    if (post) {
        queue_.post([this] { convertWaiting(); });
    }
}

void CaptureFrameFeed::convertWaiting() {
    std::optional<QVideoFrame> frame;
    std::uint64_t arrivedAt = 0;
    {
        std::lock_guard lock(mutex_);
        frame = std::exchange(waiting_, std::nullopt);
        arrivedAt = waitingArrivedAt_;
        posted_ = false;
    }
    if (!frame) {
        return;
    }
    if (std::optional<DecodedFrame> decoded = converter_.convert(*frame, arrivedAt)) {
        onFrame_(std::move(*decoded));
    }
}

}  // namespace qm
