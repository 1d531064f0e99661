#include "QuillmereKit/Demo/DemoClock.h"

namespace qm {

std::uint64_t DemoClock::deadline(std::int64_t ptsMicros, std::uint64_t nowNanos) {
    if (anchorPts_ && *anchorPts_ <= ptsMicros) {
        // The gap fits an unsigned value; its nanoseconds and the deadline may not, for a
        // damaged file, and such a deadline is far more than a second early anyway.
        const std::uint64_t gapMicros =
            static_cast<std::uint64_t>(ptsMicros) - static_cast<std::uint64_t>(*anchorPts_);
        std::uint64_t gapNanos = 0;
        std::uint64_t due = 0;
        if (!__builtin_mul_overflow(gapMicros, 1000u, &gapNanos) &&
            !__builtin_add_overflow(anchorHost_, gapNanos, &due)) {
            const bool early = due > nowNanos && due - nowNanos > maxGapNanos;
            const bool late = nowNanos > due && nowNanos - due > maxGapNanos;
            if (!early && !late) {
                return due;
            }
        }
    }
    anchorPts_ = ptsMicros;
    anchorHost_ = nowNanos;
    return nowNanos;
}

}  // namespace qm
