#pragma once

#include <optional>
#include <string>
#include <vector>

namespace qm {

// The result of one screen-flash latency test. Pure value; any thread.
struct FlashTestReport {
    int scheduledFlips = 0;
    std::vector<double> samplesMillis;  // ascending
    double medianMillis = 0;
    double minMillis = 0;
    double p90Millis = 0;
    double maxMillis = 0;
    std::optional<double> hudMedianMillis;  // the stream's own latency figure during the test
    std::optional<double> deltaMillis;      // HUD median minus measured median
    bool hudMismatch = false;
    bool meetsBaseline = false;

    // Five lines for people, every figure in whole milliseconds.
    std::string summary() const;

    bool operator==(const FlashTestReport&) const = default;
};

}  // namespace qm
