#include "VideoPipeline/LatestFrameSlot.h"

#include <utility>

namespace qm {

bool LatestFrameSlot::put(DecodedFrame frame) {
    // The replaced frame is released after the lock, not under it.
    std::optional<DecodedFrame> replaced;
    bool wasPending = false;
    {
        std::lock_guard lock(mutex_);
        wasPending = pending_.has_value();
        if (wasPending) {
            ++dropped_;
        }
        replaced = std::exchange(pending_, std::move(frame));
    }
    return wasPending;
}

std::optional<DecodedFrame> LatestFrameSlot::take() {
    std::lock_guard lock(mutex_);
    return std::exchange(pending_, std::nullopt);
}

int LatestFrameSlot::droppedCount() const {
    std::lock_guard lock(mutex_);
    return dropped_;
}

}  // namespace qm
