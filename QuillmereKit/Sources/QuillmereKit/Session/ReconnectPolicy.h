#pragma once

#include <chrono>
#include <optional>
#include <utility>
#include <vector>

#include "DeviceLink/DeviceLinkState.h"
#include "QuillmereCore/HostClock.h"
#include "QuillmereKit/Session/SessionTypes.h"
#include "QuillmereKit/Session/StreamRequest.h"
#include "VideoPipeline/DecoderRecoveryPolicy.h"

namespace qm {

// Decides, for one session, whether a lost or failed stream is restarted, waited for or given
// up. A pure value: every event is a method, the instant is passed in, and the session carries
// out the returned command. GUI thread only, like the session that holds it.
struct ReconnectPolicy {
    // The crash window counts the time the computer slept.
    using Instant = ContinuousClock::time_point;

    static constexpr int maxRestartAttempts = 3;
    // An active stream survives this many disconnections within the window; one more gives up.
    static constexpr int maxCrashesPerWindow = 3;
    static constexpr std::chrono::seconds crashWindow{60};

    struct State {
        enum class Kind { active, waiting, restarting, idle };

        // A stream is up.
        static State active(StreamRequest request) { return {Kind::active, std::move(request)}; }
        // The stream was lost; waiting for the phone.
        static State waiting(StreamRequest request) { return {Kind::waiting, std::move(request)}; }
        // A new launch of the request is under way or due.
        static State restarting(StreamRequest request) {
            return {Kind::restarting, std::move(request)};
        }
        static State idle() { return {Kind::idle, std::nullopt}; }

        Kind kind = Kind::idle;
        std::optional<StreamRequest> request;  // present unless idle

        bool operator==(const State&) const = default;
    };

    struct Command {
        enum class Kind { restart, giveUp, none, showWaiting };

        static Command restart(StreamRequest request) {
            return {Kind::restart, std::move(request), std::nullopt};
        }
        static Command giveUp(SessionFailure failure) {
            return {Kind::giveUp, std::nullopt, std::move(failure)};
        }
        static Command none() { return {Kind::none, std::nullopt, std::nullopt}; }
        static Command showWaiting() { return {Kind::showWaiting, std::nullopt, std::nullopt}; }

        Kind kind = Kind::none;
        std::optional<StreamRequest> request;   // for restart
        std::optional<SessionFailure> failure;  // for giveUp

        bool operator==(const Command&) const = default;
    };

    State state = State::idle();
    // Restarts in a row that failed since the last successful start.
    int failedRestarts = 0;
    // When an active stream was lost through disconnection, within the crash window.
    std::vector<Instant> crashTimes;

    // The request of the active, waiting or restarting stream.
    const std::optional<StreamRequest>& request() const noexcept { return state.request; }

    // The server is up and the stream is flowing.
    void streamStarted(StreamRequest request);
    void userStarted(StreamRequest request);
    void userStopped();
    // New options for the active stream; package and mode are kept.
    Command userRestart(const ServerOptions& options);
    Command deviceChanged(const DeviceLinkState& device);
    Command streamFailed(const SessionFailure& failure, Instant now);
    Command decoderRecovery(RecoveryAction action);

    bool operator==(const ReconnectPolicy&) const = default;

private:
    Command giveUp(SessionFailure failure);
};

}  // namespace qm
