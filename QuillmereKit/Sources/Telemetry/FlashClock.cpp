#include "Telemetry/FlashClock.h"

namespace qm {

std::optional<FlashClock> FlashClock::from(const std::optional<ExtHello>& hello,
                                           const ClockSync& clock) {
    const std::optional<std::int64_t> offset = clock.offsetNanos();
    if (!hello || !offset) {
        return std::nullopt;
    }
    return FlashClock{{hello->phoneWallMillis, hello->phoneMonotonicNanos}, *offset};
}

}  // namespace qm
