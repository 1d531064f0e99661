#pragma once

#include <mutex>

namespace qm {

// Qt hands posted calls and connected slots to another thread under locks of its own, which
// ThreadSanitizer cannot see. Hold `posting()` while the call is posted or connected and call
// `received()` first thing in it: the sanitizer then knows the call's captures were written
// before they are read.
class ThreadHandoff {
public:
    [[nodiscard]] static std::unique_lock<std::mutex> posting() {
        return std::unique_lock(mutex());
    }
    static void received() { std::lock_guard lock(mutex()); }

private:
    static std::mutex& mutex() {
        static std::mutex handoff;
        return handoff;
    }
};

}  // namespace qm
