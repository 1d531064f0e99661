#include "Telemetry/FlashTestReport.h"

#include <cmath>

#include <fmt/format.h>

namespace qm {

namespace {

// Halves away from zero; "+ 0.0" keeps -0.4 from printing as "-0".
std::string whole(double millis) {
    return fmt::format("{:.0f}", std::round(millis) + 0.0);
}

}  // namespace

std::string FlashTestReport::summary() const {
    std::string text =
        fmt::format("Flash test: {}/{} flips detected\n", samplesMillis.size(), scheduledFlips);
    text += fmt::format("latency ms  min {} | median {} | p90 {} | max {}\n", whole(minMillis),
                        whole(medianMillis), whole(p90Millis), whole(maxMillis));
    text += fmt::format("baseline 63 ms: {}\n", meetsBaseline ? "OK" : "FAIL");
    if (hudMedianMillis && deltaMillis) {
        text += fmt::format("HUD median {} ms, \u0394 {} ms: {}\n", whole(*hudMedianMillis),
                            whole(*deltaMillis), hudMismatch ? "MISMATCH (> 10 ms)" : "OK");
    } else {
        text += "HUD median: unavailable\n";
    }
    text += "all:";
    for (const double sample : samplesMillis) {
        text += ' ';
        text += whole(sample);
    }
    return text;
}

}  // namespace qm
