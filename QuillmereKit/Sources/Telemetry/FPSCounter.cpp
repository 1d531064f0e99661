#include "Telemetry/FPSCounter.h"

namespace qm {

namespace {

constexpr std::uint64_t nanosPerSecond = 1'000'000'000;

}  // namespace

void FPSCounter::tick(std::uint64_t atNanos) {
    ticks_.push_back(atNanos);
    if (atNanos >= nanosPerSecond) {
        std::erase_if(ticks_, [&](std::uint64_t tick) { return tick <= atNanos - nanosPerSecond; });
    }
}

}  // namespace qm
