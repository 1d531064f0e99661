#include "VideoPipeline/GPUTimeWindow.h"

#include <algorithm>

namespace qm {

GPUTimeWindow::GPUTimeWindow(std::size_t capacity) : capacity_(std::max<std::size_t>(capacity, 1)) {
    samples_.reserve(capacity_);
    sorted_.reserve(capacity_);
}

std::optional<GPUTimeWindow::Summary> GPUTimeWindow::add(double milliseconds, bool upscaled,
                                                         double openMillis) {
    if (!(milliseconds > 0 && milliseconds <= openMillis)) {
        return std::nullopt;
    }
    if (upscaled != upscaled_) {
        samples_.clear();
        upscaled_ = upscaled;
    }
    samples_.push_back(milliseconds);
    if (samples_.size() < capacity_) {
        return std::nullopt;
    }
    sorted_.assign(samples_.begin(), samples_.end());
    samples_.clear();
    std::sort(sorted_.begin(), sorted_.end());
    const std::size_t n = sorted_.size();
    return Summary{sorted_[n / 2], sorted_[n * 9 / 10], sorted_[n - 1], n, upscaled_};
}

}  // namespace qm
