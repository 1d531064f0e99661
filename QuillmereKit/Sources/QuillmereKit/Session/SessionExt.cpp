#include <algorithm>
#include <string_view>
#include <utility>

#include "QuillmereCore/BinaryError.h"
#include "QuillmereCore/HostClock.h"
#include "QuillmereCore/Log.h"
#include "QuillmereKit/Session/Session.h"
#include "Telemetry/EncoderStatsLog.h"
#include "Telemetry/PingSchedule.h"

namespace qm {

namespace {

constexpr std::uint16_t telemetryIntervalMillis = 1000;
constexpr std::chrono::seconds timingInterval{1};

bool isVersionMismatch(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const ExtClientError& e) {
        return e.kind() == ExtClientErrorKind::versionMismatch ||
               (e.kind() == ExtClientErrorKind::serverError &&
                std::string_view(e.what()).starts_with("ext protocol mismatch"));
    } catch (...) {
        return false;
    }
}

// The phone's errors that answer an app-list request.
bool isAppListError(std::string_view text) {
    return text.starts_with("list apps failed") || text.starts_with("ext handler failed");
}

}  // namespace

void Session::startExt(std::int64_t generation,
                       const std::function<void(std::optional<SessionFailure>)>& then) {
    ext_.reset();
    if (!server_ || !server_->ext) {
        then(std::nullopt);
        return;
    }
    auto client = std::make_shared<ExtClient>(server_->ext);
    tasks_.spawn("ext.hello", [this, main = main_, client, generation, then,
                               timeout = extHandshakeTimeout_](std::stop_token stop) {
        std::optional<ExtHello> hello;
        std::exception_ptr error;
        try {
            hello = client->handshake(timeout, {}, std::move(stop));
        } catch (...) {
            error = std::current_exception();
        }
        main->post([this, client, generation, hello, error, then] {
            extHandshakeEnded(client, generation, hello, error, then);
        });
    });
}

void Session::extHandshakeEnded(const std::shared_ptr<ExtClient>& client, std::int64_t generation,
                                const std::optional<ExtHello>& hello,
                                const std::exception_ptr& error,
                                const std::function<void(std::optional<SessionFailure>)>& then) {
    if (generation != generation_ || !hello) {
        // Closed on every path that does not keep it: a dropped client's writer and socket
        // would live on as long as anything held it.
        client->close();
    }
    if (generation != generation_) {
        then(std::nullopt);
        return;
    }
    if (error) {
        if (isVersionMismatch(error)) {
            Log::ext().error("ext protocol mismatch: {}", logged(error));
            then(SessionFailure::versionMismatch());
        } else {
            Log::ext().error("ext unavailable, streaming without it: {}", logged(error));
            then(std::nullopt);
        }
        return;
    }
    ext_.client = client;
    ext_.hello = hello;
    Log::ext().info("ext ready, phone monotonic {} ns", hello->phoneMonotonicNanos);
    startExtReader(client, generation);
    startClockSync(generation);
    sendExt(ext::SubscribeTelemetry{telemetryIntervalMillis});
    startLatencyTracking(generation);
    then(std::nullopt);
}

void Session::startExtReader(std::shared_ptr<ExtClient> client, std::int64_t generation) {
    tasks_.spawn("ext.read", [this, main = main_, client, generation](std::stop_token stop) {
        try {
            while (true) {
                ExtMessage message = client->next(stop);
                // Stamped before the hop: the GUI thread's delay must not count in a round trip.
                const std::uint64_t receivedNanos = HostClock::nowNanos();
                main->post([this, message = std::move(message), receivedNanos, generation] {
                    dispatchExt(message, receivedNanos, generation);
                });
            }
        } catch (const BinaryError& error) {
            Log::ext().error("ext protocol error, closing the channel: {}", error.what());
            client->close();
        } catch (const CancellationError&) {
        } catch (const std::exception& error) {
            Log::ext().info("ext reader ended: {}", error.what());
        }
        main->post(
            [this, client = client.get(), generation] { extReaderEnded(client, generation); });
    });
}

void Session::dispatchExt(const ExtMessage& message, std::uint64_t receivedNanos,
                          std::int64_t generation) {
    if (generation != generation_) {
        return;
    }
    if (const auto* pong = std::get_if<ext::Pong>(&message)) {
        handlePong(*pong, receivedNanos);
    } else if (const auto* list = std::get_if<ext::AppList>(&message)) {
        settleFirstAppListWaiter(list->apps);
    } else if (const auto* telemetry = std::get_if<ext::Telemetry>(&message)) {
        SessionStats next = stats();
        next.telemetry = telemetry->telemetry;
        setStats(std::move(next));
        if (const std::optional<std::string> line =
                EncoderStatsLog::line(telemetry->telemetry, 1.0)) {
            Log::video().info("{}", *line);
        }
    } else if (const auto* error = std::get_if<ext::Error>(&message)) {
        Log::ext().error("ext server error: {}", Log::privateValue(error->text));
        if (isAppListError(error->text)) {
            settleFirstAppListWaiter(
                std::make_exception_ptr(SessionFailure::serverFailed(error->text, true)));
        }
    }
    for (const ExtObserver& observer : extObservers_) {
        observer(message);
    }
}

void Session::extReaderEnded(const ExtClient* client, std::int64_t generation) {
    if (generation != generation_ || ext_.client.get() != client) {
        return;
    }
    Log::ext().info("ext channel down");
    ext_.client.reset();
    ext_.failAppListWaiters(SessionFailure::disconnected());
}

void Session::sendExt(const ExtMessage& message) {
    if (ext_.client) {
        ext_.client->send(message);
    }
}

void Session::startClockSync(std::int64_t generation) {
    if (ext_.hello) {
        ext_.clockSync.add({ext_.hello->hostSendNanos, ext_.hello->phoneMonotonicNanos,
                            ext_.hello->macReceiveNanos});
    }
    if (ext_.client) {
        schedulePing(0, ext_.client.get(), generation);
    }
}

void Session::schedulePing(std::size_t index, const ExtClient* client, std::int64_t generation) {
    const auto ping = [this, index, client, generation] {
        // An old stream's or a lost channel's pings end here.
        if (generation != generation_ || ext_.client.get() != client) {
            return;
        }
        sendExt(ext::Ping{HostClock::nowNanos()});
        schedulePing(index + 1, client, generation);
    };
    if (index == 0) {
        ping();
    } else {
        ext_.pingTimer->start(PingSchedule::delayBefore(index), ping);
    }
}

void Session::handlePong(const ext::Pong& pong, std::uint64_t receivedNanos) {
    ext_.clockSync.add({pong.clientNanos, pong.phoneMonotonicNanos, receivedNanos});
    Log::ext().debug("clock: rtt {} ns, best rtt {} ns, offset {} ns",
                     receivedNanos - pong.clientNanos, ext_.clockSync.bestRTTNanos().value_or(0),
                     ext_.clockSync.offsetNanos().value_or(0));
}

std::optional<FlashClock> Session::flashClock() const {
    return FlashClock::from(ext_.hello, ext_.clockSync);
}

void Session::startLatencyTracking(std::int64_t generation) {
    if (!ext_.presentHookInstalled) {
        ext_.presentHookInstalled = true;
        addPresentObserver(
            [this](std::int64_t pts, std::uint64_t presented, std::uint64_t decoded) {
                recordPresented(pts, presented, decoded);
            });
    }
    ext_.timingTimer->start(timingInterval, [this, generation] {
        if (generation == generation_) {
            publishTiming();
            startLatencyTracking(generation);
        }
    });
}

void Session::recordPresented(std::int64_t ptsMicros, std::uint64_t presentedNanos,
                              std::uint64_t decodedNanos) {
    const std::optional<std::int64_t> helloNanos =
        ext_.hello ? std::optional(ext_.hello->phoneMonotonicNanos) : std::nullopt;
    const std::optional<std::uint64_t> decoded =
        decodedNanos == 0 ? std::nullopt : std::optional(decodedNanos);
    if (ext_.latency.presented(ptsMicros, presentedNanos, helloNanos, ext_.clockSync, decoded)) {
        Log::video().info("pts clock base: {}", ext_.latency.ptsBase()->description());
    }
}

void Session::publishTiming() {
    const TimingPublication publication =
        ext_.latency.publication(ext_.client != nullptr, HostClock::nowNanos());
    SessionStats next = stats();
    next.latencyMillis = publication.latencyMillis;
    next.phoneMillis = publication.phoneMillis;
    next.macMillis = publication.macMillis;
    setStats(std::move(next));
    if (publication.line) {
        Log::video().info("{}", *publication.line);
    }
}

GuiTask<std::vector<AppInfo>> Session::fetchApps(bool includeAll) {
    GuiTask<std::vector<AppInfo>> task(this);
    if (!ext_.client) {
        task.settle(std::make_exception_ptr(SessionFailure::disconnected()));
        return task;
    }
    const UUID id = UUID::random();
    AppListWaiter& waiter =
        ext_.appListWaiters.emplace_back(AppListWaiter{id, task, timers_->makeTimer()});
    ext_.client->send(ext::ListApps{includeAll});
    waiter.timeout->start(ext_.appListTimeout, [this, id] { timeoutAppListWaiter(id); });
    return task;
}

void Session::settleFirstAppListWaiter(TaskOutcome<std::vector<AppInfo>> outcome) {
    if (ext_.appListWaiters.empty()) {
        return;  // an answer nobody asked for
    }
    AppListWaiter waiter = std::move(ext_.appListWaiters.front());
    ext_.appListWaiters.pop_front();
    if (waiter.task) {
        waiter.task->settle(std::move(outcome));
    }
}

void Session::timeoutAppListWaiter(const UUID& id) {
    const auto waiter = std::find_if(ext_.appListWaiters.begin(), ext_.appListWaiters.end(),
                                     [&](const AppListWaiter& each) { return each.id == id; });
    if (waiter == ext_.appListWaiters.end() || !waiter->task) {
        return;
    }
    std::exchange(waiter->task, std::nullopt)
        ->settle(std::make_exception_ptr(SessionFailure::serverFailed(
            "fetchApps timed out waiting for APP_LIST", false, FailureCause::timedOut)));
}

}  // namespace qm
