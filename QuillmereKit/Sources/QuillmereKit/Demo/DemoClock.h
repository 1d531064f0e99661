#pragma once

#include <cstdint>
#include <optional>

namespace qm {

// Turns a demo capture's presentation times into host-clock deadlines. The schedule follows
// the file while it stays within a second of real time; a jump in the times (a loop, a gap,
// a stall, a damaged file) starts it again at the current packet instead of sleeping long or
// delivering a burst. A value of the player's thread.
class DemoClock {
public:
    static constexpr std::uint64_t maxGapNanos = 1'000'000'000;

    // Forgets the anchor: the next packet is due at once.
    void reset() { anchorPts_.reset(); }

    // When the packet with this PTS (microseconds) is due; may be up to a second in the past.
    std::uint64_t deadline(std::int64_t ptsMicros, std::uint64_t nowNanos);

private:
    std::optional<std::int64_t> anchorPts_;
    std::uint64_t anchorHost_ = 0;
};

}  // namespace qm
