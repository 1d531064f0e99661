#pragma once

#include <cstdint>
#include <string>

namespace qm {

// What a stream's presentation times count on, decided from its first presented frame: the
// phone's monotonic clock (in microseconds), or an origin of their own. Only the former lets
// latency be measured.
struct PtsClockBase {
    enum class Kind { relative, phoneMonotonic };

    // The first PTS this far from the phone's clock at the handshake, or farther, is not on it.
    static constexpr std::int64_t maxDistanceNanos = 9'999'999'999;

    Kind kind = Kind::phoneMonotonic;
    std::int64_t originPhoneMicros = 0;  // relative: the phone time of PTS 0

    static PtsClockBase relative(std::int64_t originPhoneMicros) {
        return {Kind::relative, originPhoneMicros};
    }
    static PtsClockBase phoneMonotonic() { return {}; }

    static PtsClockBase detect(std::int64_t firstPtsMicros,
                               std::int64_t phoneMonotonicNanosAtHello);

    // The phone time of a PTS; wraps around for a PTS out of range.
    std::int64_t phoneNanos(std::int64_t ptsMicros) const;

    // "phoneMonotonic" or "relative(originPhoneMicros: 5000000000)", for the log.
    std::string description() const;

    bool operator==(const PtsClockBase&) const = default;
};

}  // namespace qm
