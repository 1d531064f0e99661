#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace qm {

// The latencies of the frames presented within the last window, for their median. Recording
// runs per frame: it appends and trims the front, and allocates nothing once the window has
// filled. Host-clock nanoseconds; a value of one thread.
class LatencyMeter {
public:
    explicit LatencyMeter(std::uint64_t windowNanos = 1'000'000'000) : windowNanos_(windowNanos) {}

    // Nothing is recorded for a frame presented before its capture.
    void record(std::uint64_t captureMacNanos, std::uint64_t presentedMacNanos);

    std::optional<double> medianMillis() const;

private:
    struct Entry {
        std::uint64_t presentedNanos;
        std::uint64_t latencyNanos;
    };

    std::uint64_t windowNanos_;
    std::vector<Entry> entries_;  // in the order recorded
    std::uint64_t newestPresentedNanos_ = 0;
};

}  // namespace qm
