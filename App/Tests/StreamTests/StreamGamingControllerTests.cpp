#include <functional>
#include <memory>

#include <gtest/gtest.h>

#include "Stream/StreamGamingController.h"

namespace qm {
namespace {

class FakeWindow final : public GamingWindow {
public:
    bool isFullScreen() const override { return fullScreen; }
    void toggleFullScreen() override {
        ++toggles;
        setFullScreen(!fullScreen);
    }
    void setOnFullScreenChange(std::function<void()> handler) override {
        onChange = std::move(handler);
    }
    // The user or the desktop changes it.
    void setFullScreen(bool on) {
        fullScreen = on;
        if (onChange) {
            onChange();
        }
    }

    bool fullScreen = false;
    int toggles = 0;
    std::function<void()> onChange;
};

struct Activities {
    int begun = 0;
    int held = 0;
};

class CountedToken final : public ActivityToken {
public:
    explicit CountedToken(Activities& activities) : activities_(activities) { ++activities_.held; }
    ~CountedToken() override { end(); }
    void end() override {
        if (!ended_) {
            ended_ = true;
            --activities_.held;
        }
    }

private:
    Activities& activities_;
    bool ended_ = false;
};

class StreamGamingControllerTest : public ::testing::Test {
protected:
    StreamActivityPolicy policy() {
        return StreamActivityPolicy([this](const ActivityOptions&, const std::string&) {
            ++activities.begun;
            return std::make_unique<CountedToken>(activities);
        });
    }

    Activities activities;
    FakeWindow window;
    StreamGamingController controller{policy()};
};

TEST_F(StreamGamingControllerTest, EntersOnceAndLeavesAutomaticFullScreenWhenTheStreamEnds) {
    controller.attach(&window);
    controller.phaseChanged(SessionPhase::starting(), true, true);
    EXPECT_FALSE(window.fullScreen);
    controller.phaseChanged(SessionPhase::streaming(), true, true);
    EXPECT_TRUE(window.fullScreen);
    // A reconnection neither leaves nor enters again.
    controller.phaseChanged(SessionPhase::waitingForDevice(), true, true);
    controller.phaseChanged(SessionPhase::starting(), true, true);
    controller.phaseChanged(SessionPhase::streaming(), true, true);
    EXPECT_EQ(window.toggles, 1);
    controller.phaseChanged(SessionPhase::failed(SessionFailure::disconnected()), true, true);
    EXPECT_FALSE(window.fullScreen);
    EXPECT_EQ(window.toggles, 2);
}

TEST_F(StreamGamingControllerTest, FullScreenTheUserChoseIsNeverLeft) {
    struct Case {
        const char* name;
        bool fullAtStart;
        bool leftByHand;
        bool autoFullScreen;
        bool fullAtEnd;
    };
    for (const Case& c : {
             Case{"already full at start", true, false, true, true},
             Case{"left by hand, then failed", false, true, true, false},
             Case{"setting off", false, false, false, false},
         }) {
        SCOPED_TRACE(c.name);
        FakeWindow shown;
        shown.fullScreen = c.fullAtStart;
        StreamGamingController gaming(policy());
        gaming.attach(&shown);
        gaming.phaseChanged(SessionPhase::streaming(), c.autoFullScreen, true);
        if (c.leftByHand) {
            shown.setFullScreen(false);
        }
        gaming.phaseChanged(SessionPhase::failed(SessionFailure::disconnected()), c.autoFullScreen,
                            true);
        gaming.streamViewClosed();
        EXPECT_EQ(shown.fullScreen, c.fullAtEnd);
        EXPECT_EQ(shown.toggles, c.leftByHand ? 1 : 0);
    }
}

// The demo started again in the same screen is a stream that starts: it keeps an automatic full
// screen, which still goes when the screen closes, and enters it anew where it was left.
TEST_F(StreamGamingControllerTest, AStreamThatReplacesAnotherInTheScreenStartsAsTheFirstDid) {
    for (const bool leftByHand : {false, true}) {
        SCOPED_TRACE(leftByHand ? "left by hand" : "automatic");
        FakeWindow shown;
        StreamGamingController gaming(policy());
        gaming.attach(&shown);
        gaming.phaseChanged(SessionPhase::streaming(), true, true);
        if (leftByHand) {
            shown.setFullScreen(false);
        }
        gaming.streamReplaced();
        gaming.phaseChanged(SessionPhase::idle(), true, true);
        EXPECT_EQ(shown.fullScreen, !leftByHand);
        gaming.phaseChanged(SessionPhase::starting(), true, true);
        gaming.phaseChanged(SessionPhase::streaming(), true, true);
        EXPECT_TRUE(shown.fullScreen);
        EXPECT_EQ(shown.toggles, leftByHand ? 2 : 1);
        gaming.streamViewClosed();
        EXPECT_FALSE(shown.fullScreen);
    }
}

TEST_F(StreamGamingControllerTest, AnEarlyEnterWaitsForTheWindowAndAnExitCancelsIt) {
    controller.phaseChanged(SessionPhase::streaming(), true, true);
    controller.attach(&window);
    EXPECT_TRUE(window.fullScreen);

    FakeWindow late;
    StreamGamingController cancelled(policy());
    cancelled.phaseChanged(SessionPhase::streaming(), true, true);
    cancelled.phaseChanged(SessionPhase::idle(), true, true);
    cancelled.attach(&late);
    EXPECT_FALSE(late.fullScreen);
}

TEST_F(StreamGamingControllerTest, DisplayStaysAwakeExactlyWhileStreamingWithTheSettingOn) {
    controller.attach(&window);
    controller.phaseChanged(SessionPhase::starting(), true, true);
    EXPECT_EQ(activities.held, 0);
    controller.phaseChanged(SessionPhase::streaming(), true, true);
    EXPECT_EQ(activities.held, 1);
    controller.keepDisplayAwakeChanged(false);
    EXPECT_EQ(activities.held, 0);
    controller.keepDisplayAwakeChanged(true);
    EXPECT_EQ(activities.held, 1);
    EXPECT_EQ(activities.begun, 2);
    // Closing the screen ends it although the phase is still streaming, and leaves full screen.
    controller.streamViewClosed();
    EXPECT_EQ(activities.held, 0);
    EXPECT_FALSE(window.fullScreen);
    EXPECT_FALSE(window.onChange);
}

}  // namespace
}  // namespace qm
