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

    // Samples of 0 ms or less are ignored.
    std::optional<Summary> add(double milliseconds, bool upscaled);

    std::size_t count() const noexcept { return samples_.size(); }

private:
    std::size_t capacity_;
    std::vector<double> samples_;
    std::vector<double> sorted_;
    bool upscaled_ = false;
};

}  // namespace qm
