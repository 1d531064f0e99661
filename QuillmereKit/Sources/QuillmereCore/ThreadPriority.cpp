#include "QuillmereCore/ThreadPriority.h"

#include <sys/resource.h>
#include <unistd.h>

namespace qm {

bool lowerCurrentThread() noexcept {
    // On Linux a nice level belongs to the thread, which the thread id names.
    constexpr int backgroundNice = 10;
    return ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), backgroundNice) == 0;
}

}  // namespace qm
