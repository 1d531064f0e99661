#pragma once

#include <chrono>
#include <thread>

namespace qm::test {

// Polls `condition` until it holds or `limit` passes; for state that another thread reaches.
// The limit only ends a wait that would never end: a sanitizer build on a busy machine can take
// seconds where a quiet one takes milliseconds.
template <typename Condition>
bool eventually(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(30)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

}  // namespace qm::test
