#pragma once

#include <cstdint>

namespace qm {

// The one timestamp clock for latency, clock sync and input timing: monotonic, not slewed by
// time synchronisation, not counting time asleep. Its zero is arbitrary.
struct HostClock {
    static std::uint64_t nowNanos() noexcept;
};

}  // namespace qm
