#pragma once

#include <mutex>
#include <optional>

#include "VideoPipeline/DecodedFrame.h"

namespace qm {

// A one-frame mailbox between the decoder and the renderer: the producer never waits, the
// newest frame wins, and every frame replaced before it was taken counts as dropped.
class LatestFrameSlot {
public:
    // Returns whether an unread frame was replaced.
    bool put(DecodedFrame frame);
    std::optional<DecodedFrame> take();
    int droppedCount() const;

private:
    mutable std::mutex mutex_;
    std::optional<DecodedFrame> pending_;
    int dropped_ = 0;
};

}  // namespace qm
