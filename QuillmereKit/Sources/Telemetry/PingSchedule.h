#pragma once

#include <chrono>
#include <cstddef>

namespace qm {

// When the session pings the phone for clock samples: five pings 100 ms apart right after the
// handshake fill the estimator quickly, then one every 2 seconds follows the clocks' drift.
struct PingSchedule {
    static constexpr std::size_t burstCount = 5;
    static constexpr std::chrono::milliseconds burstInterval{100};
    static constexpr std::chrono::milliseconds steadyInterval{2000};

    // The wait before ping `index` (from 0): after the handshake for the first, after the
    // previous ping for the others. So pings go at 0, 100, 200, 300, 400, 2500, 4500, ... ms.
    static constexpr std::chrono::milliseconds delayBefore(std::size_t index) {
        if (index == 0) {
            return std::chrono::milliseconds(0);
        }
        if (index < burstCount) {
            return burstInterval;
        }
        return index == burstCount ? burstInterval + steadyInterval : steadyInterval;
    }
};

}  // namespace qm
