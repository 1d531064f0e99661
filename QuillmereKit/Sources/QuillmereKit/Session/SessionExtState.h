#pragma once

#include <chrono>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

#include "IPhoneMirror/TimerSource.h"
#include "QuillmereCore/UUID.h"
#include "QuillmereKit/Session/SessionTypes.h"
#include "QuillmereKit/Tasks/GuiTask.h"
#include "ServerProtocol/ExtClient.h"
#include "Telemetry/ClockSync.h"
#include "Telemetry/LatencyTracker.h"

namespace qm {

// One fetchApps call awaiting its answer. The answers carry no id: they are matched by order.
struct AppListWaiter {
    UUID id;
    // None once the call ended by its time-out: the slot stays, so that the late answer to this
    // request is eaten here instead of reaching the next call.
    std::optional<GuiTask<std::vector<AppInfo>>> task;
    std::unique_ptr<OneShotTimer> timeout;
};

// What a session knows of the current stream's extension channel: the client, the handshake, the
// clock estimate, the latency figures and the pending app-list calls. GUI thread only.
struct SessionExtState {
    static constexpr std::size_t clockWindow = 10;

    std::shared_ptr<ExtClient> client;  // none without a channel, or once it went down
    std::optional<ExtHello> hello;
    ClockSync clockSync{clockWindow};
    std::deque<AppListWaiter> appListWaiters;  // oldest first
    std::chrono::milliseconds appListTimeout{std::chrono::seconds(10)};
    LatencyTracker latency;
    bool presentHookInstalled = false;  // kept by reset(): one observer for the session's life
    // Made once by the session; reset() cancels their waits.
    std::unique_ptr<OneShotTimer> pingTimer;
    std::unique_ptr<OneShotTimer> timingTimer;

    // Forgets the stream's channel. The client is closed here, not only let go: the reader and
    // the ping timer may hold it for a while, and its writer and socket must not live on.
    // Every pending call fails with disconnected, oldest first.
    void reset();
    void failAppListWaiters(const SessionFailure& failure);
};

}  // namespace qm
