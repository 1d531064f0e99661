#include "Telemetry/FlashTestAnalyzer.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace qm::FlashTestAnalyzer {

namespace {

double medianOfSorted(const std::vector<double>& sorted) {
    const std::size_t n = sorted.size();
    return n % 2 == 1 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
}

}  // namespace

bool isGreen(std::int64_t phoneWallMillis) {
    return phoneWallMillis / periodMillis % 2 == 1;
}

std::vector<ScheduledFlip> scheduledFlips(std::int64_t fromPhoneWallMillis,
                                          std::int64_t toPhoneWallMillis) {
    std::int64_t first = 0;
    if (fromPhoneWallMillis >= toPhoneWallMillis ||
        __builtin_mul_overflow(fromPhoneWallMillis / periodMillis + 1, periodMillis, &first) ||
        first > toPhoneWallMillis) {
        return {};
    }
    // Unsigned, as the span of two signed times may exceed the signed range.
    const std::uint64_t span = std::uint64_t(toPhoneWallMillis) - std::uint64_t(first);
    const std::uint64_t count = span / periodMillis + 1;
    std::vector<ScheduledFlip> flips;
    flips.reserve(count);
    for (std::uint64_t i = 0; i < count; ++i) {
        const auto at = std::int64_t(std::uint64_t(first) + i * periodMillis);
        flips.push_back({at, isGreen(at)});
    }
    return flips;
}

std::vector<double> latenciesMillis(const std::vector<ScheduledFlip>& flips,
                                    const std::vector<FlashTransition>& transitions,
                                    const FlashClock& clock) {
    std::vector<FlashTransition> sorted = transitions;
    std::stable_sort(
        sorted.begin(), sorted.end(),
        [](const FlashTransition& a, const FlashTransition& b) { return a.macNanos < b.macNanos; });
    std::vector<bool> used(sorted.size(), false);
    std::vector<double> latencies;
    for (const ScheduledFlip& flip : flips) {
        const std::optional<std::int64_t> flipNanos = clock.macNanos(flip.phoneWallMillis);
        if (!flipNanos) {
            continue;
        }
        for (std::size_t i = 0; i < sorted.size(); ++i) {
            std::int64_t delta = 0;
            if (used[i] || sorted[i].toGreen != flip.toGreen ||
                sorted[i].macNanos > std::uint64_t(std::numeric_limits<std::int64_t>::max()) ||
                __builtin_sub_overflow(std::int64_t(sorted[i].macNanos), *flipNanos, &delta)) {
                continue;
            }
            if (delta >= -earlyToleranceNanos && delta < matchWindowNanos) {
                used[i] = true;
                latencies.push_back(double(delta) / 1'000'000);
                break;
            }
        }
    }
    return latencies;
}

std::optional<FlashTestReport> report(const std::vector<double>& latenciesMillis,
                                      int scheduledFlips, std::optional<double> hudMedianMillis) {
    if (latenciesMillis.empty()) {
        return std::nullopt;
    }
    FlashTestReport result;
    result.scheduledFlips = scheduledFlips;
    result.samplesMillis = latenciesMillis;
    std::vector<double>& sorted = result.samplesMillis;
    std::sort(sorted.begin(), sorted.end());
    const auto n = sorted.size();
    result.medianMillis = medianOfSorted(sorted);
    result.minMillis = sorted.front();
    result.maxMillis = sorted.back();
    const double rank = std::clamp(std::ceil(double(n) * 0.9), 1.0, double(n));
    result.p90Millis = sorted[std::size_t(rank) - 1];
    result.hudMedianMillis = hudMedianMillis;
    if (hudMedianMillis) {
        result.deltaMillis = *hudMedianMillis - result.medianMillis;
        result.hudMismatch = std::abs(*result.deltaMillis) > hudToleranceMillis;
    }
    result.meetsBaseline = result.medianMillis <= baselineMedianMillis;
    return result;
}

std::optional<double> median(std::vector<double> values) {
    if (values.empty()) {
        return std::nullopt;
    }
    std::sort(values.begin(), values.end());
    return medianOfSorted(values);
}

}  // namespace qm::FlashTestAnalyzer
