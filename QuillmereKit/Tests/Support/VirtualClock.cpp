#include "Support/VirtualClock.h"

#include <algorithm>

namespace qm::test {

TaskClock VirtualClock::taskClock() {
    return {[this] { return nowNanos(); },
            [this](std::chrono::nanoseconds duration, const std::stop_token& stop) {
                sleep(duration, stop);
            }};
}

std::uint64_t VirtualClock::nowNanos() const {
    std::lock_guard lock(mutex_);
    return now_;
}

std::vector<std::chrono::nanoseconds> VirtualClock::sleeps() const {
    std::lock_guard lock(mutex_);
    return sleeps_;
}

bool VirtualClock::parked() const {
    std::lock_guard lock(mutex_);
    return parked_;
}

void VirtualClock::parkAt(std::optional<std::uint64_t> nanos) {
    {
        std::lock_guard lock(mutex_);
        parkAt_ = nanos;
    }
    wake_.notify_all();
}

void VirtualClock::sleep(std::chrono::nanoseconds duration, const std::stop_token& stop) {
    std::unique_lock lock(mutex_);
    sleeps_.push_back(duration);
    const std::uint64_t end = now_ + static_cast<std::uint64_t>(duration.count());
    const auto endsWithinLimit = [&] { return !parkAt_ || end <= *parkAt_; };
    if (!endsWithinLimit()) {
        now_ = *parkAt_;
        parked_ = true;
        const bool released = wake_.wait(lock, stop, endsWithinLimit);
        parked_ = false;
        if (!released) {
            return;
        }
    }
    now_ = std::max(now_, end);
}

}  // namespace qm::test
