#include <chrono>

#include <gtest/gtest.h>

#include "QuillmereKit/Session/ReconnectPolicy.h"

namespace qm {
namespace {

using namespace std::chrono_literals;
using Command = ReconnectPolicy::Command;
using State = ReconnectPolicy::State;

StreamRequest request(VideoCodec codec = VideoCodec::h264) {
    ServerOptions options(0x1234);
    options.videoCodec = codec;
    options.maxSize = 1920;
    options.audio = false;
    return {"com.example.game", options, InputMode::keymap};
}

const DeviceInfo phone{"serial", "Maker", "Model", "14", 34};
const DeviceLinkState connected = DeviceLinkState::connected(phone);
const DeviceLinkState unplugged = DeviceLinkState::noDevice();
const SessionFailure disconnected = SessionFailure::disconnected();

ReconnectPolicy activePolicy(const StreamRequest& r = request()) {
    ReconnectPolicy policy;
    policy.streamStarted(r);
    return policy;
}

TEST(ReconnectPolicyTest, AnActiveStreamSurvivesThreeDisconnectionsAMinute) {
    const ReconnectPolicy::Instant t0{};
    const StreamRequest r = request();

    // Three losses 10 s apart, each followed by a successful restart.
    const auto threeCrashes = [&] {
        ReconnectPolicy policy = activePolicy(r);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(policy.streamFailed(disconnected, t0 + i * 10s), Command::showWaiting());
            EXPECT_EQ(policy.state, State::waiting(r));
            EXPECT_EQ(policy.deviceChanged(connected), Command::restart(r));
            policy.streamStarted(r);
        }
        return policy;
    };

    ReconnectPolicy fourthWithin = threeCrashes();
    EXPECT_EQ(fourthWithin.streamFailed(disconnected, t0 + 59s), Command::giveUp(disconnected));
    EXPECT_EQ(fourthWithin, ReconnectPolicy());

    // The oldest loss has aged out, exactly a minute on.
    ReconnectPolicy fourthLater = threeCrashes();
    EXPECT_EQ(fourthLater.streamFailed(disconnected, t0 + 60s), Command::showWaiting());
    EXPECT_EQ(fourthLater.crashTimes.size(), 3u);

    // A stream the user starts again begins with a clean slate.
    ReconnectPolicy restartedByUser = threeCrashes();
    restartedByUser.userStarted(r);
    restartedByUser.streamStarted(r);
    EXPECT_EQ(restartedByUser.streamFailed(disconnected, t0 + 30s), Command::showWaiting());
}

TEST(ReconnectPolicyTest, RestartsThatFailGiveUpOnTheThirdOrOnAnyOtherFailure) {
    const StreamRequest r = request();
    ReconnectPolicy policy = activePolicy(r);
    ASSERT_EQ(policy.deviceChanged(unplugged), Command::showWaiting());
    ASSERT_EQ(policy.deviceChanged(connected), Command::restart(r));

    EXPECT_EQ(policy.streamFailed(disconnected, {}), Command::showWaiting());
    EXPECT_EQ(policy.deviceChanged(unplugged), Command::none());
    EXPECT_EQ(policy.deviceChanged(connected), Command::restart(r));
    EXPECT_EQ(policy.streamFailed(disconnected, {}), Command::showWaiting());
    EXPECT_EQ(policy.failedRestarts, 2);
    // Failures while waiting change nothing.
    EXPECT_EQ(policy.streamFailed(SessionFailure::deviceBusy(), {}), Command::none());
    EXPECT_EQ(policy.deviceChanged(connected), Command::restart(r));
    EXPECT_EQ(policy.streamFailed(disconnected, {}), Command::giveUp(disconnected));
    EXPECT_EQ(policy, ReconnectPolicy());

    ReconnectPolicy other = activePolicy(r);
    other.deviceChanged(unplugged);
    other.deviceChanged(connected);
    EXPECT_EQ(other.streamFailed(SessionFailure::versionMismatch(), {}),
              Command::giveUp(SessionFailure::versionMismatch()));
    EXPECT_EQ(other.state, State::idle());
}

TEST(ReconnectPolicyTest, AFirstLaunchIsNeverRetried) {
    ReconnectPolicy policy;
    policy.userStarted(request());
    EXPECT_EQ(policy.deviceChanged(unplugged), Command::none());
    EXPECT_EQ(policy.streamFailed(disconnected, {}), Command::giveUp(disconnected));
    EXPECT_EQ(policy, ReconnectPolicy());
}

TEST(ReconnectPolicyTest, UserRestartKeepsPackageAndModeAndActsOnlyWhileActive) {
    ReconnectPolicy policy = activePolicy();
    ServerOptions wider(0x99);
    wider.maxSize = 2400;
    StreamRequest expected = request();
    expected.options = wider;

    EXPECT_EQ(policy.userRestart(wider), Command::restart(expected));
    EXPECT_EQ(policy.request(), expected);
    EXPECT_EQ(policy.userRestart(ServerOptions(1)), Command::none());
    policy.deviceChanged(unplugged);
    EXPECT_EQ(policy.userRestart(ServerOptions(1)), Command::none());
    EXPECT_EQ(policy.request(), expected);
}

TEST(ReconnectPolicyTest, DecoderFallbackRestartsInH264WithEveryOtherOptionKept) {
    ReconnectPolicy hevc = activePolicy(request(VideoCodec::h265));
    EXPECT_EQ(hevc.decoderRecovery(RecoveryAction::recreateDecoder), Command::none());
    EXPECT_EQ(hevc.decoderRecovery(RecoveryAction::fallbackToH264),
              Command::restart(request(VideoCodec::h264)));
    EXPECT_EQ(hevc.state, State::restarting(request(VideoCodec::h264)));
    // Not active any more: the next escalation waits for the new stream.
    EXPECT_EQ(hevc.decoderRecovery(RecoveryAction::giveUp), Command::none());

    ReconnectPolicy avc = activePolicy(request(VideoCodec::h264));
    EXPECT_EQ(avc.decoderRecovery(RecoveryAction::fallbackToH264),
              Command::giveUp(SessionFailure::decoderFailed()));
    EXPECT_EQ(avc.state, State::idle());
}

}  // namespace
}  // namespace qm
