#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "QuillmereKit/Session/FullScreenPolicy.h"
#include "QuillmereKit/Session/StreamActivityPolicy.h"

namespace qm {
namespace {

using Command = FullScreenPolicy::Command;

const SessionPhase streaming = SessionPhase::streaming();
const SessionPhase waiting = SessionPhase::waitingForDevice();

TEST(FullScreenPolicyTest, EntersOnceAndExitsOnlyWhatItEntered) {
    FullScreenPolicy reconnecting;
    EXPECT_EQ(reconnecting.phaseChanged(SessionPhase::starting(), true, false), Command::none);
    EXPECT_EQ(reconnecting.phaseChanged(streaming, true, false), Command::enter);
    EXPECT_EQ(reconnecting.phaseChanged(waiting, true, true), Command::none);
    EXPECT_EQ(reconnecting.phaseChanged(streaming, true, true), Command::none);
    EXPECT_EQ(
        reconnecting.phaseChanged(SessionPhase::failed(SessionFailure::disconnected()), true, true),
        Command::exit);
    EXPECT_EQ(reconnecting.streamEnded(), Command::none);

    FullScreenPolicy leftByHand;
    EXPECT_EQ(leftByHand.phaseChanged(streaming, true, false), Command::enter);
    leftByHand.windowFullScreenChanged(true);
    leftByHand.windowFullScreenChanged(false);
    EXPECT_EQ(leftByHand.phaseChanged(SessionPhase::idle(), true, false), Command::none);

    FullScreenPolicy enabledLate;
    EXPECT_EQ(enabledLate.phaseChanged(streaming, false, false), Command::none);
    EXPECT_EQ(enabledLate.phaseChanged(streaming, true, false), Command::none);

    FullScreenPolicy closedWhileStreaming;
    closedWhileStreaming.phaseChanged(streaming, true, false);
    EXPECT_EQ(closedWhileStreaming.streamEnded(), Command::exit);
}

// Records what the policy asks of the desktop.
struct Activities {
    struct Token final : ActivityToken {
        explicit Token(Activities& recorder) : owner(recorder) {}
        ~Token() override { end(); }
        void end() override {
            if (!ended) {
                ended = true;
                ++owner.ended;
            }
        }
        Activities& owner;
        bool ended = false;
    };

    StreamActivityPolicy::Begin begin() {
        return [this](const ActivityOptions& options, const std::string& reason) {
            ++begun;
            lastOptions = options;
            lastReason = reason;
            return std::make_unique<Token>(*this);
        };
    }

    int begun = 0;
    int ended = 0;
    ActivityOptions lastOptions;
    std::string lastReason;
};

TEST(StreamActivityPolicyTest, HoldsOneActivityWhileStreamingAndWanted) {
    Activities desktop;
    {
        StreamActivityPolicy policy(desktop.begin());
        policy.update(SessionPhase::starting(), true);
        policy.update(streaming, true);
        policy.update(streaming, true);
        EXPECT_TRUE(policy.isActive());
        EXPECT_EQ(desktop.begun, 1);
        EXPECT_EQ(desktop.lastOptions, StreamActivityPolicy::options);
        EXPECT_EQ(desktop.lastReason, "Vantorel is streaming the phone screen");

        policy.update(SessionPhase::failed(SessionFailure::decoderFailed()), true);
        EXPECT_FALSE(policy.isActive());
        EXPECT_EQ(desktop.ended, 1);

        policy.update(streaming, true);
        policy.update(streaming, false);
        EXPECT_EQ(desktop.ended, 2);
        policy.update(std::nullopt, true);
        policy.end();
        EXPECT_EQ(desktop.ended, 2);

        policy.update(streaming, true);
    }
    // Releasing the policy ends what it held.
    EXPECT_EQ(desktop.begun, 3);
    EXPECT_EQ(desktop.ended, 3);
}

}  // namespace
}  // namespace qm
