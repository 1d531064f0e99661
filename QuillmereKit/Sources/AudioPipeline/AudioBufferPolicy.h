#pragma once

#include <cstdint>
#include <optional>

namespace qm {

// How much buffered audio to play and when to throw excess latency away: wait until
// `targetFrames` have arrived, count an underrun and wait again when the buffer runs dry, and cut
// back to the target once the level has stayed above twice the target for the hold.
struct AudioBufferPolicy {
    int targetFrames = 0;
    std::uint64_t overfillHoldNanos = 0;
    bool isPrimed = false;
    std::int64_t underruns = 0;
    // When the current overfill began; it is only seen when audio is written, so the hold is
    // measured between writes.
    std::optional<std::uint64_t> overfillSince;

    AudioBufferPolicy(int target, std::uint64_t holdNanos)
        : targetFrames(target), overfillHoldNanos(holdNanos) {}

    // The frames of a `requested` block to fill from the `available` ones; the rest is silence.
    int framesToPlay(int requested, int available) noexcept;
    // The oldest frames to discard after a write left `available` buffered.
    int framesToTrim(int available, std::uint64_t nowNanos) noexcept;

    bool operator==(const AudioBufferPolicy&) const = default;
};

}  // namespace qm
