#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "Telemetry/FlashClock.h"
#include "Telemetry/FlashTestReport.h"

namespace qm {

// A colour change of the stream window's centre as we displayed it.
struct FlashTransition {
    bool toGreen = false;
    std::uint64_t macNanos = 0;  // HostClock time of the first frame of the new colour

    bool operator==(const FlashTransition&) const = default;
};

// A colour change of the phone's flash page by its schedule.
struct ScheduledFlip {
    std::int64_t phoneWallMillis = 0;  // a multiple of periodMillis
    bool toGreen = false;

    bool operator==(const ScheduledFlip&) const = default;
};

// The arithmetic of the screen-flash latency test: the page's schedule, the pairing of its flips
// with the colour changes we displayed, and the statistics. Pure; any thread.
namespace FlashTestAnalyzer {

inline constexpr std::int64_t periodMillis = 500;
inline constexpr double hudToleranceMillis = 10;
inline constexpr double baselineMedianMillis = 63;
inline constexpr std::int64_t earlyToleranceNanos = 5'000'000;
inline constexpr std::int64_t matchWindowNanos = 450'000'000;

// The page is green in every odd period of its wall clock, black in every even one.
bool isGreen(std::int64_t phoneWallMillis);

// The period boundaries in (from, to], ascending.
std::vector<ScheduledFlip> scheduledFlips(std::int64_t fromPhoneWallMillis,
                                          std::int64_t toPhoneWallMillis);

// One latency per flip that found a transition of its colour displayed from 5 ms before to
// 450 ms after it, each transition used once, in flip order. A flip whose time the clock cannot
// give matches nothing.
std::vector<double> latenciesMillis(const std::vector<ScheduledFlip>& flips,
                                    const std::vector<FlashTransition>& transitions,
                                    const FlashClock& clock);

// None without latencies.
std::optional<FlashTestReport> report(const std::vector<double>& latenciesMillis,
                                      int scheduledFlips, std::optional<double> hudMedianMillis);

std::optional<double> median(std::vector<double> values);

}  // namespace FlashTestAnalyzer

}  // namespace qm
