#include "Telemetry/FlashClock.h"

#include <limits>

namespace qm {

namespace {
constexpr std::int64_t nanosPerMilli = 1'000'000;
}  // namespace

std::optional<FlashClock> FlashClock::from(const std::optional<ExtHello>& hello,
                                           const ClockSync& clock) {
    const std::optional<std::int64_t> offset = clock.offsetNanos();
    if (!hello || !offset) {
        return std::nullopt;
    }
    return FlashClock{{hello->phoneWallMillis, hello->phoneMonotonicNanos}, *offset};
}

std::optional<std::int64_t> FlashClock::macNanos(std::int64_t wallMillis) const {
    std::int64_t sinceAnchor = 0;
    std::int64_t phoneNanos = 0;
    std::int64_t result = 0;
    if (__builtin_sub_overflow(wallMillis, anchor.wallMillis, &sinceAnchor) ||
        __builtin_mul_overflow(sinceAnchor, nanosPerMilli, &sinceAnchor) ||
        __builtin_add_overflow(anchor.monotonicNanos, sinceAnchor, &phoneNanos) ||
        __builtin_sub_overflow(phoneNanos, offsetNanos, &result)) {
        return std::nullopt;
    }
    return result;
}

std::optional<std::int64_t> FlashClock::phoneWallMillis(std::uint64_t hostNanos) const {
    std::int64_t phoneNanos = 0;
    std::int64_t sinceAnchor = 0;
    std::int64_t result = 0;
    if (hostNanos > std::uint64_t(std::numeric_limits<std::int64_t>::max()) ||
        __builtin_add_overflow(std::int64_t(hostNanos), offsetNanos, &phoneNanos) ||
        __builtin_sub_overflow(phoneNanos, anchor.monotonicNanos, &sinceAnchor) ||
        __builtin_add_overflow(anchor.wallMillis, sinceAnchor / nanosPerMilli, &result)) {
        return std::nullopt;
    }
    return result;
}

}  // namespace qm
