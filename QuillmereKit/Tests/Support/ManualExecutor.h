#pragma once

#include <deque>
#include <functional>
#include <mutex>

#include "QuillmereCore/Executor.h"

namespace qm::test {

// An executor whose work runs only when the test drains it, on the test's thread.
class ManualExecutor final : public Executor {
public:
    void post(std::function<void()> work) override;

    // Runs the oldest posted work; returns false when there was none.
    bool runOne();
    // Runs work until none is left, including work posted while draining; returns how much ran.
    std::size_t drain();
    std::size_t pending() const;

private:
    mutable std::mutex mutex_;
    std::deque<std::function<void()>> queue_;
};

}  // namespace qm::test
