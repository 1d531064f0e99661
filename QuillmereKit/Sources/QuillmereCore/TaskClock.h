#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <stop_token>

#include "QuillmereCore/HostClock.h"

namespace qm {

// The time a background task paces itself by: the host clock and a sleep that a stop request
// cuts short, or a test's virtual pair. Either function may be called from the task's thread.
struct TaskClock {
    std::function<std::uint64_t()> nowNanos = HostClock::nowNanos;
    // Returns early once `stop` is requested; the caller checks the token.
    std::function<void(std::chrono::nanoseconds, const std::stop_token&)> sleep =
        sleepUnlessStopped;

    static void sleepUnlessStopped(std::chrono::nanoseconds duration, const std::stop_token& stop);
};

}  // namespace qm
