// The flash test as the user runs it, in real time: the runner and the sampler watch a window
// that shows the real session's stream from the fake phone over the fake USB bus. The phone's
// clock is far from ours, and its screen shows the page's colours a fixed delay late.
#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QTest>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "Developer/FlashTestRunner.h"
#include "Developer/SessionFlashTarget.h"
#include "QuillmereCore/SerialQueue.h"
#include "Support/FakePhoneSessionTest.h"
#include "VideoPipeline/View/VideoView.h"

namespace qm::test {
namespace {

using namespace std::chrono_literals;
using ::testing::IsEmpty;

// From the page's flip to the phone's screen.
constexpr auto displayDelay = 40ms;

class FlashTestEndToEnd : public FakePhoneSessionTest {
protected:
    void TearDown() override {
        runner_.reset();
        FakePhoneSessionTest::TearDown();
    }

    // The phone's stream in a window of its own, on the app's timers and render thread.
    void stream(std::chrono::nanoseconds helloTimeout = SessionEnvironment{}.extHandshakeTimeout) {
        script_.flashPageDelay = displayDelay;
        // Days apart: a mapping that ignored the offset would match nothing.
        script_.clockOffsetNanos = 400'000'000'000'000;
        SessionEnvironment environment;
        environment.timers = qtTimers_;
        environment.renderQueue = std::make_shared<SerialQueue>("render");
        environment.extHandshakeTimeout = helloTimeout;
        Session& session = connect(std::move(environment));
        engine_.loadData(R"(
            import QtQuick
            import Vantorel.Video
            Window {
                width: 320; height: 180; visible: true; color: "black"
                VideoView { objectName: "video"; anchors.fill: parent }
            })");
        ASSERT_EQ(engine_.rootObjects().size(), 1);
        window_ = qobject_cast<QQuickWindow*>(engine_.rootObjects().first());
        ASSERT_TRUE(window_);
        session.attach(window_->findChild<VideoView*>("video"));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_));
        settle(session.start(std::nullopt, ServerOptions(0x1234)));
        ASSERT_TRUE(streams());
        // The app model shares its session; the fixture owns this one.
        shared_ = std::shared_ptr<const StreamingSession>(&session, [](const auto*) {});
        runner_ = std::make_unique<FlashTestRunner>(
            FlashTestRunner::Environment{.timers = *qtTimers_,
                                         .mainWindow = [this] { return window_; },
                                         .settleDelay = 500ms,
                                         .tickInterval = 100ms});
    }

    // Runs a test to its end.
    void runTest() {
        runner_->run(
            FlashTestRunner::Source::downloadsFile,
            std::make_shared<SessionFlashTarget>(shared_, [this] { return link_->connection(); }));
        // Its timers fire only in a running event loop.
        ASSERT_TRUE(QTest::qWaitFor([&] { return !runner_->isRunning(); }, 30'000));
        EXPECT_TRUE(runner_->isPresented());
    }

    std::vector<std::string> openedURLs() {
        return devices_.back()->phone()->adb().services().openedURLs();
    }

    std::shared_ptr<QtTimerSource> qtTimers_ = std::make_shared<QtTimerSource>(Qt::PreciseTimer);
    QQmlApplicationEngine engine_;
    QQuickWindow* window_ = nullptr;
    std::shared_ptr<const StreamingSession> shared_;
    std::unique_ptr<FlashTestRunner> runner_;
};

TEST_F(FlashTestEndToEnd, MeasuresThePhonesDisplayDelayThroughTheWholeStream) {
    ASSERT_NO_FATAL_FAILURE(stream());
    ASSERT_TRUE(until([&] { return session_->flashClock().has_value(); }));

    ASSERT_NO_FATAL_FAILURE(runTest());
    const auto* finished = std::get_if<FlashTestRunner::Finished>(&runner_->state());
    ASSERT_TRUE(finished) << runner_->failureMessage().toStdString();
    const FlashTestReport& report = finished->report;
    RecordProperty("medianMillis", std::to_string(report.medianMillis));
    // A busy machine holds flips back, some past the pairing's window: the quickest flip is the
    // phone's delay and what the stream adds at best.
    EXPECT_GE(2 * report.samplesMillis.size(), std::size_t(report.scheduledFlips))
        << report.summary();
    EXPECT_GE(report.medianMillis, double(displayDelay.count())) << report.summary();
    EXPECT_LE(report.minMillis, double(displayDelay.count() + 50)) << report.summary();
    EXPECT_EQ(openedURLs(), std::vector<std::string>{"file:///sdcard/Download/qm-flash.html"});
}

TEST_F(FlashTestEndToEnd, WithoutTheExtensionChannelThereIsNoClockAndNothingReachesThePhone) {
    script_.helloReply = FakeServerScript::HelloReply::silence;
    ASSERT_NO_FATAL_FAILURE(stream(20ms));  // waited out at once

    ASSERT_NO_FATAL_FAILURE(runTest());
    EXPECT_EQ(runner_->failureMessage(),
              "No clock sync yet. Start a stream and wait a few seconds.");
    EXPECT_THAT(openedURLs(), IsEmpty());
}

}  // namespace
}  // namespace qm::test
