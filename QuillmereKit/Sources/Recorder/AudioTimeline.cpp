#include "Recorder/AudioTimeline.h"

#include <algorithm>

namespace qm {

std::int64_t AudioTimeline::framesAt(std::int64_t micros) {
    // 48000 / 1000000 = 6 / 125, divided first so that no time overflows.
    std::int64_t whole = micros / 125;
    std::int64_t rest = micros % 125;
    if (rest < 0) {
        --whole;
        rest += 125;
    }
    return whole * 6 + rest * 6 / 125;
}

AudioTimeline::Placement AudioTimeline::place(std::int64_t offsetMicros, std::int64_t frames) {
    const std::int64_t at = framesAt(offsetMicros);
    Placement placement;
    placement.startFrame = placed_ ? std::max(next_, at) : at;
    if (placement.startFrame < next_) {
        placement.cutFrames = std::min(frames, next_ - placement.startFrame);
        placement.startFrame = next_;
    } else if (const std::int64_t gap = placement.startFrame - next_; gap > maxSkipFrames) {
        placement.startFrame = next_;
    } else if (gap > maxSilenceFrames_) {
        placement.skippedFrames = gap;
    } else {
        placement.silenceFrames = gap;
    }
    const std::int64_t kept = frames - placement.cutFrames;
    placed_ = placed_ || kept > 0;
    next_ = placement.startFrame + kept;
    return placement;
}

}  // namespace qm
