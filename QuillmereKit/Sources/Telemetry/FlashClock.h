#pragma once

#include <cstdint>
#include <optional>

#include "ServerProtocol/ExtClient.h"
#include "Telemetry/ClockSync.h"

namespace qm {

// The phone's wall clock and its monotonic clock read at the same moment, at the handshake.
struct PhoneClockAnchor {
    std::int64_t wallMillis = 0;
    std::int64_t monotonicNanos = 0;

    bool operator==(const PhoneClockAnchor&) const = default;
};

// What the screen-flash latency test needs to put the phone's times on our clock.
struct FlashClock {
    PhoneClockAnchor anchor;
    std::int64_t offsetNanos = 0;  // the phone's monotonic clock minus our host clock

    // None without a handshake, or before the estimator has an offset.
    static std::optional<FlashClock> from(const std::optional<ExtHello>& hello,
                                          const ClockSync& clock);

    // Our host-clock time of a phone wall time, taking the phone's wall clock to run at the
    // rate of its monotonic clock since the anchor. The anchor and offset come from the phone:
    // none where the arithmetic would overflow.
    std::optional<std::int64_t> macNanos(std::int64_t wallMillis) const;
    // The phone's wall time at a host-clock time, truncated to the millisecond; none where the
    // arithmetic would overflow or the host time is beyond the signed range.
    std::optional<std::int64_t> phoneWallMillis(std::uint64_t hostNanos) const;

    bool operator==(const FlashClock&) const = default;
};

}  // namespace qm
