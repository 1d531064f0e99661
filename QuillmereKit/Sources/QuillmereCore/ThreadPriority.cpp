#include "QuillmereCore/ThreadPriority.h"

#include <algorithm>
#include <cerrno>

#include <sys/resource.h>
#include <unistd.h>

namespace qm {

bool lowerCurrentThread() noexcept {
    // On Linux a nice level belongs to the thread, which the thread id names.
    constexpr int backgroundNice = 10;
    const auto thread = static_cast<id_t>(::gettid());
    errno = 0;
    const int current = ::getpriority(PRIO_PROCESS, thread);
    if (errno != 0) {
        return false;
    }
    // A process started nicer than that, as under nice(1), keeps its level: lowering never
    // raises a thread.
    return ::setpriority(PRIO_PROCESS, thread, std::max(current, backgroundNice)) == 0;
}

}  // namespace qm
