#pragma once

#include <QVideoFrame>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>

#include "IPhoneMirror/CaptureFrameConverter.h"
#include "QuillmereCore/Executor.h"
#include "VideoPipeline/DecodedFrame.h"

namespace qm {

// Carries captured frames from the capture backend's threads to the capture queue, where they
// are converted one at a time and handed on. At most one frame waits: a newer one replaces it,
// so a slow conversion drops late frames instead of queueing them. The queue must run or drop
// the work posted to it before the feed goes.
class CaptureFrameFeed {
public:
    using FrameHandler = std::function<void(DecodedFrame)>;

    // `onFrame` is called on `queue`.
    CaptureFrameFeed(Executor& queue, FrameHandler onFrame);
    CaptureFrameFeed(const CaptureFrameFeed&) = delete;
    CaptureFrameFeed& operator=(const CaptureFrameFeed&) = delete;

    // Any thread; keeps only the reference, the conversion happens on the queue.
    void push(QVideoFrame frame);

private:
    void convertWaiting();

    Executor& queue_;
    const FrameHandler onFrame_;
    std::mutex mutex_;
    std::optional<QVideoFrame> waiting_;
    std::uint64_t waitingArrivedAt_ = 0;
    bool posted_ = false;
    CaptureFrameConverter converter_;  // on the queue only
};

}  // namespace qm
