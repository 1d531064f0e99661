#pragma once

#include <cstddef>
#include <optional>
#include <vector>

namespace qm {

// GPU times of the last frames of one render path; summarised and emptied when full, so
// upscaled and direct frames are never mixed in one figure.
class GPUTimeWindow {
public:
    struct Summary {
        double medianMillis = 0;
        double p90Millis = 0;
        double maxMillis = 0;
        std::size_t count = 0;
        bool upscaled = false;

        bool operator==(const Summary&) const = default;
    };

    explicit GPUTimeWindow(std::size_t capacity = 120);

    // `openMillis` is how long the sample's timer query had been open when it was read. Samples
    // of 0 ms or less are ignored, and so are longer ones than that: the GPU cannot have worked
    // longer than the commands existed, so such a sample comes from a query that never recorded
    // its start, or from a clock that wrapped.
    std::optional<Summary> add(double milliseconds, bool upscaled, double openMillis);

    std::size_t count() const noexcept { return samples_.size(); }

private:
    std::size_t capacity_;
    std::vector<double> samples_;
    std::vector<double> sorted_;
    bool upscaled_ = false;
};

}  // namespace qm
