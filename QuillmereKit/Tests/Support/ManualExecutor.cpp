#include "Support/ManualExecutor.h"

namespace qm::test {

void ManualExecutor::post(std::function<void()> work) {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(work));
}

bool ManualExecutor::runOne() {
    std::function<void()> work;
    {
        std::lock_guard lock(mutex_);
        if (queue_.empty()) {
            return false;
        }
        work = std::move(queue_.front());
        queue_.pop_front();
    }
    work();
    return true;
}

std::size_t ManualExecutor::drain() {
    std::size_t ran = 0;
    while (runOne()) {
        ++ran;
    }
    return ran;
}

std::size_t ManualExecutor::pending() const {
    std::lock_guard lock(mutex_);
    return queue_.size();
}

}  // namespace qm::test
