#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "QuillmereCore/TaskClock.h"

namespace qm::test {

// Time that moves only when the code under test sleeps: each sleep is recorded and moves the
// clock on at once, so paced code runs at full speed. A sleep that would end past `parkAt`
// stops time there and waits for its stop request, so a test can look at a running task and
// then stop it, or move the limit on to let it end. Thread-safe; it must outlive the TaskClock
// it hands out.
class VirtualClock {
public:
    explicit VirtualClock(std::uint64_t startNanos = 0,
                          std::optional<std::uint64_t> parkAtNanos = std::nullopt)
        : now_(startNanos), parkAt_(parkAtNanos) {}

    TaskClock taskClock();

    std::uint64_t nowNanos() const;
    std::vector<std::chrono::nanoseconds> sleeps() const;
    // Whether a sleeper waits at the limit.
    bool parked() const;
    // A new limit, or none; parked sleeps that end within it end now.
    void parkAt(std::optional<std::uint64_t> nanos);

private:
    void sleep(std::chrono::nanoseconds duration, const std::stop_token& stop);

    mutable std::mutex mutex_;
    std::condition_variable_any wake_;
    std::uint64_t now_;
    std::optional<std::uint64_t> parkAt_;
    std::vector<std::chrono::nanoseconds> sleeps_;
    bool parked_ = false;
};

}  // namespace qm::test
