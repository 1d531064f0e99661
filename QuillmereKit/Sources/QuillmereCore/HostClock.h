#pragma once

#include <chrono>
#include <cstdint>

namespace qm {

// The one timestamp clock for latency, clock sync and input timing: monotonic, not slewed by
// time synchronisation, not counting time asleep. Its zero is arbitrary.
struct HostClock {
    static std::uint64_t nowNanos() noexcept;
};

// A std::chrono clock that goes on counting while the computer sleeps, for how long ago
// something happened in the user's time: a suspend between two events lies between them.
struct ContinuousClock {
    using duration = std::chrono::nanoseconds;
    using rep = duration::rep;
    using period = duration::period;
    using time_point = std::chrono::time_point<ContinuousClock>;
    static constexpr bool is_steady = true;

    static time_point now() noexcept;
};

}  // namespace qm
