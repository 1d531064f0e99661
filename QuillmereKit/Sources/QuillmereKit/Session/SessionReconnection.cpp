#include <algorithm>
#include <utility>

#include "QuillmereCore/DoubleText.h"
#include "QuillmereCore/Log.h"
#include "QuillmereKit/Session/Session.h"

namespace qm {

namespace {

using Command = ReconnectPolicy::Command;
using PolicyKind = ReconnectPolicy::State::Kind;

bool isConnected(const std::optional<DeviceLinkState>& state) {
    return state && std::holds_alternative<DeviceLinkState::Connected>(state->value);
}

// As the poll's time-out reads in its failure: "30.0 seconds".
std::string durationText(StreamingSession::Duration duration) {
    return doubleText(std::chrono::duration<double>(duration).count()) + " seconds";
}

}  // namespace

void Session::restartStream(const ServerOptions& options) {
    execute(reconnect_.userRestart(options));
}

void Session::deviceStateChanged(const DeviceLinkState& state) {
    lastDeviceState_ = state;
    execute(reconnect_.deviceChanged(state));
}

void Session::reconnectStreamStarted(const std::optional<std::string>& package,
                                     const ServerOptions& options) {
    reconnect_.streamStarted({package, options, input_.mode()});
}

void Session::execute(const Command& command) {
    switch (command.kind) {
        case Command::Kind::restart: {
            Log::session().info("restarting stream");
            // Restarts never overlap: each waits for the one before it, which runs on.
            const std::optional<GuiTask<void>> previous = restartTask_;
            GuiTask<void> done(this);
            restartTask_ = done;
            const auto run = [this, request = *command.request, done] {
                performRestart(request, done);
            };
            if (previous) {
                previous->then([run](const TaskOutcome<void>&) { run(); });
            } else {
                main_->post(run);
            }
            return;
        }
        case Command::Kind::giveUp:
            Log::session().error("stream failed: {}", logged(*command.failure));
            show(SessionPhase::failed(*command.failure));
            if (server_) {
                stopStreamingLater([this] { return reconnect_.state.kind == PolicyKind::idle; });
            }
            return;
        case Command::Kind::none:
            return;
        case Command::Kind::showWaiting:
            Log::session().info("device lost; waiting for the phone");
            show(SessionPhase::waitingForDevice());
            if (server_) {
                stopStreamingLater([this] { return reconnect_.state.kind == PolicyKind::waiting; });
            }
            return;
    }
}

void Session::performRestart(const StreamRequest& request, const GuiTask<void>& done) {
    // Superseded: the user stopped or started another stream, or the phone went away again.
    if (reconnect_.state != ReconnectPolicy::State::restarting(request)) {
        done.settle(TaskOutcome<void>());
        return;
    }
    ServerOptions options = request.options;
    options.scid = ServerOptions::randomScid();  // new socket names for the new server
    launch({request.package, std::move(options), done});
}

void Session::handleStreamFailure(const SessionFailure& failure) {
    const Command command = reconnect_.streamFailed(failure, now_());
    execute(command);
    if (command.kind == Command::Kind::showWaiting) {
        scheduleRetry();
    }
}

void Session::scheduleRetry() {
    // Without the phone the next connected state restarts instead.
    if (reconnect_.state.kind != PolicyKind::waiting || !isConnected(lastDeviceState_)) {
        return;
    }
    const auto index = static_cast<std::size_t>(std::clamp(reconnect_.failedRestarts - 1, 0, 2));
    const std::int64_t generation = generation_;
    const StreamRequest request = *reconnect_.request();
    after(retryDelays[index], [this, generation, request] {
        if (generation != generation_ ||
            reconnect_.state != ReconnectPolicy::State::waiting(request) ||
            !isConnected(lastDeviceState_)) {
            return;
        }
        Log::session().info("retrying the restart");
        execute(reconnect_.deviceChanged(*lastDeviceState_));
    });
}

void Session::handleDecoderRecovery(RecoveryAction action) {
    if (reconnect_.request()) {
        execute(reconnect_.decoderRecovery(action));
        return;
    }
    if (action == RecoveryAction::fallbackToH264 || action == RecoveryAction::giveUp) {
        Log::session().error("decoder failed without a server stream");
        show(SessionPhase::failed(SessionFailure::decoderFailed()));
        stopStreamingLater([] { return true; });
    }
}

void Session::stopStreamingLater(std::function<bool()> condition) {
    main_->post([this, generation = generation_, condition = std::move(condition)] {
        if (generation == generation_ && condition()) {
            stopStreaming();
        }
    });
}

GuiTask<void> Session::waitWhile(Duration timeout, Duration pollInterval,
                                 PhaseCondition condition) {
    GuiTask<void> task(this);
    struct Poll {
        std::function<void()> check;
    };
    auto poll = std::make_shared<Poll>();
    const SessionEnvironment::Instant deadline = now_() + timeout;
    // The pending timer holds the poll; the poll holds only a weak handle on itself.
    poll->check = [this, task, deadline, timeout, pollInterval, condition,
                   self = std::weak_ptr<Poll>(poll)] {
        if (task.isSettled()) {
            return;  // cancelled by its holder
        }
        if (!condition(phase())) {
            task.settle(TaskOutcome<void>());
        } else if (now_() < deadline) {
            after(pollInterval, [poll = self.lock()] { poll->check(); });
        } else {
            task.settle(std::make_exception_ptr(SessionFailure::serverFailed(
                "the phone did not respond within " + durationText(timeout), false,
                FailureCause::timedOut)));
        }
    };
    poll->check();
    return task;
}

}  // namespace qm
