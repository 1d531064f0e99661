#include "QuillmereKit/Session/ReconnectPolicy.h"

#include <algorithm>
#include <variant>

namespace qm {

namespace {
using Kind = ReconnectPolicy::State::Kind;
using Command = ReconnectPolicy::Command;
}  // namespace

void ReconnectPolicy::streamStarted(StreamRequest request) {
    state = State::active(std::move(request));
    failedRestarts = 0;
}

void ReconnectPolicy::userStarted(StreamRequest request) {
    // A first launch is not the policy's to keep alive until it reaches streaming.
    if (state.kind != Kind::idle) {
        state = State::restarting(std::move(request));
    }
    failedRestarts = 0;
    crashTimes.clear();
}

void ReconnectPolicy::userStopped() {
    state = State::idle();
    failedRestarts = 0;
    crashTimes.clear();
}

Command ReconnectPolicy::userRestart(const ServerOptions& options) {
    if (state.kind != Kind::active) {
        return Command::none();
    }
    StreamRequest request = *state.request;
    request.options = options;
    state = State::restarting(request);
    return Command::restart(std::move(request));
}

Command ReconnectPolicy::deviceChanged(const DeviceLinkState& device) {
    const bool connected = std::holds_alternative<DeviceLinkState::Connected>(device.value);
    switch (state.kind) {
        case Kind::active:
        case Kind::restarting:
            if (connected) {
                return Command::none();
            }
            state = State::waiting(*state.request);
            return Command::showWaiting();
        case Kind::waiting:
            if (!connected) {
                return Command::none();
            }
            state = State::restarting(*state.request);
            return Command::restart(*state.request);
        case Kind::idle:
            break;
    }
    return Command::none();
}

Command ReconnectPolicy::streamFailed(const SessionFailure& failure, Instant now) {
    const bool disconnected = failure.kind() == SessionFailureKind::disconnected;
    switch (state.kind) {
        case Kind::active:
            if (!disconnected) {
                return giveUp(failure);
            }
            std::erase_if(crashTimes, [&](Instant t) { return now - t >= crashWindow; });
            crashTimes.push_back(now);
            if (crashTimes.size() > static_cast<std::size_t>(maxCrashesPerWindow)) {
                return giveUp(failure);
            }
            state = State::waiting(*state.request);
            return Command::showWaiting();
        case Kind::restarting:
            ++failedRestarts;
            if (disconnected && failedRestarts < maxRestartAttempts) {
                state = State::waiting(*state.request);
                return Command::showWaiting();
            }
            return giveUp(failure);
        case Kind::waiting:
            return Command::none();
        case Kind::idle:
            // A first launch is never retried.
            break;
    }
    return Command::giveUp(failure);
}

Command ReconnectPolicy::decoderRecovery(RecoveryAction action) {
    if (state.kind != Kind::active) {
        return Command::none();
    }
    switch (action) {
        case RecoveryAction::requestKeyFrame:
        case RecoveryAction::recreateDecoder:
            // The session handles these itself.
            return Command::none();
        case RecoveryAction::fallbackToH264:
            if (state.request->options.videoCodec == VideoCodec::h265) {
                StreamRequest request = *state.request;
                request.options.videoCodec = VideoCodec::h264;
                state = State::restarting(request);
                return Command::restart(std::move(request));
            }
            break;
        case RecoveryAction::giveUp:
            break;
    }
    return giveUp(SessionFailure::decoderFailed());
}

Command ReconnectPolicy::giveUp(SessionFailure failure) {
    state = State::idle();
    failedRestarts = 0;
    crashTimes.clear();
    return Command::giveUp(std::move(failure));
}

}  // namespace qm
