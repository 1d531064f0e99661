#pragma once

#include <functional>

namespace qm {

// How urgent a thread's work is: frames the user is looking at, input on its way to the phone,
// and work nobody waits for (logs, files, caches).
enum class ThreadPriority { userInteractive, high, background };

// Gives the calling thread a priority, as well as the system allows.
using SetThreadPriority = std::function<void(ThreadPriority)>;

// Lowers the calling thread below the rest of the process, which needs no privilege; false when
// the system refused.
bool lowerCurrentThread() noexcept;

}  // namespace qm
