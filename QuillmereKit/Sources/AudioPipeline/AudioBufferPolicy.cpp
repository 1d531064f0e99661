#include "AudioPipeline/AudioBufferPolicy.h"

#include <algorithm>

namespace qm {

int AudioBufferPolicy::framesToPlay(int requested, int available) noexcept {
    if (!isPrimed) {
        if (std::max(requested, targetFrames) > available) {
            return 0;
        }
        isPrimed = true;
    }
    if (available >= requested) {
        return requested;
    }
    ++underruns;
    isPrimed = false;
    return available;
}

int AudioBufferPolicy::framesToTrim(int available, std::uint64_t nowNanos) noexcept {
    if (std::int64_t(available) <= 2 * std::int64_t(targetFrames)) {
        overfillSince.reset();
        return 0;
    }
    if (!overfillSince) {
        overfillSince = nowNanos;
        return 0;
    }
    // A clock that went back counts as no time passed.
    if (nowNanos < *overfillSince || nowNanos - *overfillSince < overfillHoldNanos) {
        return 0;
    }
    overfillSince.reset();
    return available - targetFrames;
}

}  // namespace qm
