#include "Telemetry/ClockSync.h"

#include <algorithm>

namespace qm {

std::optional<std::int64_t> ClockSample::offsetNanos() const noexcept {
    const std::uint64_t midpoint = macSendNanos + rttNanos() / 2;
    std::int64_t offset = 0;
    if (__builtin_sub_overflow(phoneNanos, midpoint, &offset)) {
        return std::nullopt;
    }
    return offset;
}

ClockSync::ClockSync(std::size_t window) : window_(std::max<std::size_t>(window, 1)) {
    samples_.reserve(window_ + 1);
}

bool ClockSync::add(const ClockSample& sample) {
    if (sample.macReceiveNanos < sample.macSendNanos || !sample.offsetNanos()) {
        return false;
    }
    samples_.push_back(sample);
    if (samples_.size() > window_) {
        samples_.erase(samples_.begin(),
                       samples_.begin() + static_cast<std::ptrdiff_t>(samples_.size() - window_));
    }
    return true;
}

const ClockSample* ClockSync::best() const {
    const ClockSample* best = nullptr;
    for (const ClockSample& sample : samples_) {
        if (!best || sample.rttNanos() <= best->rttNanos()) {
            best = &sample;
        }
    }
    return best;
}

std::optional<std::int64_t> ClockSync::offsetNanos() const {
    const ClockSample* sample = best();
    return sample ? sample->offsetNanos() : std::nullopt;
}

std::optional<std::uint64_t> ClockSync::bestRTTNanos() const {
    const ClockSample* sample = best();
    return sample ? std::optional(sample->rttNanos()) : std::nullopt;
}

std::optional<std::uint64_t> ClockSync::macNanos(std::int64_t phoneNanos) const {
    const std::optional<std::int64_t> offset = offsetNanos();
    std::int64_t mac = 0;
    if (!offset || __builtin_sub_overflow(phoneNanos, *offset, &mac) || mac < 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(mac);
}

}  // namespace qm
