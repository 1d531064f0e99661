#include "QuillmereKit/Session/SessionExtState.h"

#include <utility>

namespace qm {

void SessionExtState::reset() {
    if (const std::shared_ptr<ExtClient> closing = std::exchange(client, nullptr)) {
        closing->close();
    }
    hello.reset();
    clockSync = ClockSync(clockWindow);
    latency = LatencyTracker();
    for (OneShotTimer* timer : {pingTimer.get(), timingTimer.get()}) {
        if (timer) {
            timer->cancel();
        }
    }
    failAppListWaiters(SessionFailure::disconnected());
}

void SessionExtState::failAppListWaiters(const SessionFailure& failure) {
    for (AppListWaiter& waiter : std::exchange(appListWaiters, {})) {
        if (waiter.task) {
            waiter.task->settle(std::make_exception_ptr(failure));
        }
    }
}

}  // namespace qm
