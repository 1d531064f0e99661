#include "Telemetry/LatencyMeter.h"

#include <algorithm>

namespace qm {

void LatencyMeter::record(std::uint64_t captureMacNanos, std::uint64_t presentedMacNanos) {
    if (presentedMacNanos < captureMacNanos) {
        return;
    }
    entries_.push_back({presentedMacNanos, presentedMacNanos - captureMacNanos});
    newestPresentedNanos_ = std::max(newestPresentedNanos_, presentedMacNanos);
    const std::uint64_t cutoff =
        newestPresentedNanos_ > windowNanos_ ? newestPresentedNanos_ - windowNanos_ : 0;
    // Only the front: an older entry behind a newer one leaves once it reaches the front.
    const auto kept = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& entry) {
        return entry.presentedNanos >= cutoff;
    });
    entries_.erase(entries_.begin(), kept);
}

std::optional<double> LatencyMeter::medianMillis() const {
    if (entries_.empty()) {
        return std::nullopt;
    }
    std::vector<std::uint64_t> sorted;
    sorted.reserve(entries_.size());
    for (const Entry& entry : entries_) {
        sorted.push_back(entry.latencyNanos);
    }
    std::sort(sorted.begin(), sorted.end());
    const std::size_t n = sorted.size();
    const double median =
        n % 2 == 1
            ? static_cast<double>(sorted[n / 2])
            : (static_cast<double>(sorted[n / 2 - 1]) + static_cast<double>(sorted[n / 2])) * 0.5;
    return median / 1e6;
}

}  // namespace qm
