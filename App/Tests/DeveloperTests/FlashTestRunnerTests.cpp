#include <QClipboard>
#include <QColor>
#include <QGuiApplication>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>
#include <chrono>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <fmt/format.h>

#include <gtest/gtest.h>

#include "Developer/DeveloperCommandsModel.h"
#include "Developer/FlashTestError.h"
#include "Developer/FlashTestRunner.h"
#include "DeviceLink/AdbMessage.h"
#include "FakeSession.h"
#include "Support/ManualTimerSource.h"
#include "Telemetry/FlashTestAnalyzer.h"
#include "Telemetry/FlashTestPage.h"
#include "ViewTesting.h"

namespace qm {
namespace {

using namespace std::chrono_literals;
using Source = FlashTestRunner::Source;

constexpr std::uint64_t hostStart = 1'000'000'000'000;
// Our host clock at 1000 s is the phone's wall clock at 1'700'000'000'123 ms.
const FlashClock clock{{1'700'000'000'123, 77'000'000'000},
                       77'000'000'000 - std::int64_t(hostStart)};
constexpr std::uint64_t ms = 1'000'000;

// A phone that notes every call; a push may fail. The runner reads its calls only once the
// worker's result has reached the GUI thread.
struct FakePhone final : FlashTestTarget::Phone {
    void push(ByteView data, const std::string& path, std::uint32_t mode) override {
        calls.push_back(fmt::format("push {} {:o} {}", path, mode,
                                    asText(data) == FlashTestPage::html ? "page" : "other"));
        if (pushError) {
            std::rethrow_exception(pushError);
        }
    }
    std::string shell(const std::string& command) override {
        calls.push_back("shell " + command);
        return "Starting: Intent";
    }

    std::exception_ptr pushError;
    std::vector<std::string> calls;
};

struct FakeTarget final : FlashTestTarget {
    std::optional<FlashClock> flashClock() const override { return clockNow; }
    std::optional<double> latencyMillis() const override { return latency; }
    std::shared_ptr<Phone> phone() const override { return fakePhone; }

    std::optional<FlashClock> clockNow = clock;
    std::optional<double> latency = 38;
    std::shared_ptr<FakePhone> fakePhone = std::make_shared<FakePhone>();
};

// What the samplers the runner made were asked. Each sees black at its start and then, unless
// only black is shown, each of the page's flips 40 ms late.
struct SamplerLog {
    std::vector<QRect> starts;
    int stops = 0;
    bool startFails = false;
    bool blackOnly = false;
};

class FakeSampler final : public FlashSampler {
public:
    FakeSampler(SamplerLog& log, std::function<std::uint64_t()> now)
        : log_(log), now_(std::move(now)) {}

    void start(QQuickWindow*, QRect region) override {
        if (log_.startFails) {
            throw FlashTestError::windowNotFound();
        }
        log_.starts.push_back(region);
        startedAt_ = now_();
    }
    std::vector<FlashTransition> stop() override {
        ++log_.stops;
        std::vector<FlashTransition> seen = {{false, startedAt_}};
        const std::int64_t last = *clock.phoneWallMillis(now_());
        for (std::int64_t flip = *clock.phoneWallMillis(startedAt_) / 500 * 500 + 500;
             !log_.blackOnly && flip <= last; flip += 500) {
            seen.push_back(
                {FlashTestAnalyzer::isGreen(flip), std::uint64_t(*clock.macNanos(flip)) + 40 * ms});
        }
        return seen;
    }

private:
    SamplerLog& log_;
    std::function<std::uint64_t()> now_;
    std::uint64_t startedAt_ = 0;
};

class FlashTestRunnerTest : public ::testing::Test {
public:
    FlashTestRunnerTest() { window_.contentItem()->setSize({800, 600}); }

    std::unique_ptr<FlashTestRunner> makeRunner() {
        auto now = [this] { return hostStart + std::uint64_t(timers_.now().count()) * ms; };
        return std::make_unique<FlashTestRunner>(FlashTestRunner::Environment{
            .timers = timers_,
            .mainWindow = [this] { return windowShown_ ? &window_ : nullptr; },
            .screenRecordingAllowed = [this] { return allowed_; },
            .makeSampler = [this, now] { return std::make_unique<FakeSampler>(samplers_, now); },
            .nowNanos = now});
    }

    // Starts a run and waits until the page step has ended.
    void start(Source source) {
        runner_->run(source, target_);
        ASSERT_TRUE(QTest::qWaitFor([&] { return timers_.pending() > 0 || !runner_->isRunning(); },
                                    10'000));
    }

    // The 3 s wait and the 84 ticks; the progress shown along the way.
    std::vector<double> runToEnd() {
        std::vector<double> progress;
        const QMetaObject::Connection watch =
            QObject::connect(runner_.get(), &FlashTestRunner::stateChanged, runner_.get(), [&] {
                if (runner_->isRunning()) {
                    progress.push_back(runner_->progress());
                }
            });
        timers_.advance(2999ms);
        EXPECT_TRUE(samplers_.starts.empty());
        timers_.advance(1ms);
        timers_.advance(FlashTestRunner::ticks * 250ms);
        EXPECT_FALSE(runner_->isRunning());
        QObject::disconnect(watch);
        return progress;
    }

    test::ManualTimerSource timers_;
    QQuickWindow window_;
    bool windowShown_ = true;
    bool allowed_ = true;
    SamplerLog samplers_;
    std::shared_ptr<FakeTarget> target_ = std::make_shared<FakeTarget>();
    std::optional<FlashClock> lateClock_ = clock;  // what the stream has when the ticks end
    std::unique_ptr<FlashTestRunner> runner_ = makeRunner();
};

TEST_F(FlashTestRunnerTest, OpensThePageThenReportsTheFlipsSeenDuringTheTicks) {
    const std::string prefix = "shell am start -a android.intent.action.VIEW -d '";
    struct Case {
        Source source;
        std::optional<double> latency;
        std::vector<std::string> calls;
        const char* hudLine;
    };
    const std::vector<Case> cases = {
        {Source::dataURL,
         38,
         {prefix + FlashTestPage::dataURL() + "'"},
         "HUD median 38 ms, \u0394 -2 ms: OK"},
        {Source::downloadsFile,
         std::nullopt,
         {"push /sdcard/Download/qm-flash.html 644 page",
          prefix + "file:///sdcard/Download/qm-flash.html'"},
         "HUD median: unavailable"},
    };
    for (const Case& c : cases) {
        target_ = std::make_shared<FakeTarget>();
        target_->latency = c.latency;
        samplers_ = {};
        start(c.source);
        EXPECT_EQ(target_->fakePhone->calls, c.calls);
        const std::vector<double> progress = runToEnd();

        ASSERT_EQ(progress.size(), 84u);
        EXPECT_EQ(progress[41], 0.5);
        EXPECT_EQ(progress.back(), 1.0);
        EXPECT_EQ(samplers_.starts, std::vector<QRect>{QRect(396, 296, 8, 8)});
        EXPECT_EQ(samplers_.stops, 1);
        ASSERT_EQ(runner_->stateKind(), FlashTestRunner::StateKind::finished);
        const FlashTestReport& report =
            std::get<FlashTestRunner::Finished>(runner_->state()).report;
        // 21 s watched from phone time ...3123: the boundaries from ...3500 to one period
        // before the end.
        EXPECT_EQ(report.scheduledFlips, 41);
        EXPECT_EQ(report.samplesMillis, std::vector<double>(41, 40));
        EXPECT_EQ(runner_->summary().split('\n').at(3).toStdString(), c.hudLine);
        EXPECT_FALSE(runner_->reportFlagged());
        EXPECT_TRUE(runner_->isPresented());
    }
}

TEST_F(FlashTestRunnerTest, FailsAtTheFirstMissingRequirementBeforeTouchingThePhone) {
    struct Case {
        bool allowed, clock, phone, window;
        const char* message;
    };
    const Case cases[] = {
        {false, false, false, false,
         "Allow Screen Recording for Vantorel, then run the test again."},
        {true, false, false, false, "No clock sync yet. Start a stream and wait a few seconds."},
        {true, true, false, false, "The phone is not connected."},
        {true, true, true, false, "Stream window not found. Start a stream first."},
    };
    for (const Case& c : cases) {
        allowed_ = c.allowed;
        windowShown_ = c.window;
        target_ = std::make_shared<FakeTarget>();
        const std::shared_ptr<FakePhone> phone = target_->fakePhone;
        target_->clockNow = c.clock ? std::optional(clock) : std::nullopt;
        target_->fakePhone = c.phone ? phone : nullptr;
        runner_->run(Source::downloadsFile, target_);
        EXPECT_EQ(runner_->failureMessage().toStdString(), c.message);
        EXPECT_TRUE(runner_->isPresented());
        EXPECT_TRUE(phone->calls.empty());
    }
    EXPECT_TRUE(samplers_.starts.empty());
    EXPECT_EQ(timers_.pending(), 0u);
}

TEST_F(FlashTestRunnerTest, FailsWithWhatWentWrongOnTheWay) {
    struct Case {
        const char* name;
        std::function<void(FlashTestRunnerTest&)> arrange;
        int stops;
        const char* message;
    };
    const std::vector<Case> cases = {
        // What a person reads of the phone's errors is words, never the error's own text.
        {"push unanswered",
         [](auto& t) {
             t.target_->fakePhone->pushError = std::make_exception_ptr(
                 AdbError::timedOut("the phone did not answer the opening of sync:"));
         },
         0, "The phone didn’t respond in time. Unlock it and check the cable, then try again."},
        {"phone gone",
         [](auto& t) {
             t.target_->fakePhone->pushError = std::make_exception_ptr(AdbError::closed());
         },
         0, "The phone is not connected."},
        {"push refused",
         [](auto& t) {
             t.target_->fakePhone->pushError =
                 std::make_exception_ptr(std::runtime_error("the phone refused the file"));
         },
         0, "Something went wrong."},
        {"sampler cannot start", [](auto& t) { t.samplers_.startFails = true; }, 0,
         "Stream window not found. Start a stream first."},
        {"clock lost", [](auto& t) { t.lateClock_ = std::nullopt; }, 1,
         "No clock sync yet. Start a stream and wait a few seconds."},
        {"absurd clock",
         [](auto& t) {
             t.lateClock_ = FlashClock{{std::numeric_limits<std::int64_t>::max(), 0}, 0};
         },
         1, "No clock sync yet. Start a stream and wait a few seconds."},
        {"black only", [](auto& t) { t.samplers_.blackOnly = true; }, 1,
         "No flips detected. Is the black/green page open on the phone?"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        target_ = std::make_shared<FakeTarget>();
        samplers_ = {};
        lateClock_ = clock;
        c.arrange(*this);
        start(Source::downloadsFile);
        if (runner_->isRunning()) {
            timers_.advance(3000ms);
            target_->clockNow = lateClock_;
            timers_.advance(FlashTestRunner::ticks * 250ms);
        }
        EXPECT_EQ(runner_->failureMessage().toStdString(), c.message);
        EXPECT_EQ(samplers_.stops, c.stops);
        EXPECT_TRUE(runner_->isPresented());
        EXPECT_EQ(timers_.pending(), 0u);
    }
}

TEST_F(FlashTestRunnerTest, IgnoresRequestsWhileRunningAndAsksAgainAfterwards) {
    runner_->request(Source::downloadsFile);
    EXPECT_EQ(runner_->state(),
              FlashTestRunner::State(FlashTestRunner::Confirm{Source::downloadsFile}));
    EXPECT_TRUE(runner_->isPresented());

    start(Source::downloadsFile);
    EXPECT_FALSE(runner_->isPresented());
    runner_->request(Source::dataURL);
    runner_->cancel();
    runner_->run(Source::dataURL, target_);
    EXPECT_EQ(runner_->state(), FlashTestRunner::State(FlashTestRunner::Running{0}));
    EXPECT_FALSE(runner_->isPresented());
    runToEnd();
    EXPECT_EQ(target_->fakePhone->calls.size(), 2u);
    EXPECT_EQ(runner_->stateKind(), FlashTestRunner::StateKind::finished);

    runner_->request(Source::dataURL);
    EXPECT_EQ(runner_->source(), Source::dataURL);
    EXPECT_TRUE(runner_->isPresented());
    runner_->cancel();
    EXPECT_EQ(runner_->stateKind(), FlashTestRunner::StateKind::idle);
    EXPECT_FALSE(runner_->isPresented());
}

TEST_F(FlashTestRunnerTest, DestroyedMidRunStopsTheSamplerAndPublishesNothing) {
    start(Source::dataURL);
    timers_.advance(3000ms + 10 * 250ms);
    ASSERT_EQ(samplers_.starts.size(), 1u);
    runner_.reset();
    EXPECT_EQ(samplers_.stops, 1);
    EXPECT_EQ(timers_.pending(), 0u);
}

TEST_F(FlashTestRunnerTest, SheetBadgeAndMenuStateFollowTheRunner) {
    QQmlEngine engine;
    auto window = test::showWindow(engine, R"(
        import QtQuick
        import Vantorel
        Window {
            id: host
            required property FlashTestRunner runner
            property bool hasStream: false
            property int starts: 0
            property int clicks: 0
            width: 800; height: 600
            MouseArea { anchors.fill: parent; onClicked: ++host.clicks }
            FlashTestProgress { objectName: "badge"; anchors.bottom: parent.bottom; runner: host.runner }
            FlashTestSheet {
                runner: host.runner
                hasStream: host.hasStream
                onStartRequested: ++host.starts
            }
        })",
                                   {{"runner", QVariant::fromValue(runner_.get())}});
    ASSERT_TRUE(window);
    window->requestActivate();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    test::FakeSession session;
    session.setPhase(SessionPhase::streaming());
    DeveloperCommandsModel commands;
    commands.setStreamRoute(true);
    commands.setSession(&session);
    commands.setFlashTest(runner_.get());
    const auto press = [&](Qt::Key key) { QTest::keyClick(window.get(), key); };
    const QObject* sheet = window->findChild<QObject*>("flashTestSheet");
    ASSERT_TRUE(sheet);
    const auto sheetShown = [&] { return sheet->property("visible").toBool(); };
    const auto eventually = [](auto condition) {
        return QTest::qWaitFor(condition, test::waitBound);
    };
    // The button that has the keys, its ring shown.
    const auto hasKeys = [&](const char* name) {
        QQuickItem* button = test::findItem(*window, name);
        return eventually(
            [&] { return button->hasActiveFocus() && button->property("visualFocus").toBool(); });
    };

    // Confirming: Start needs a stream; Return presses it, Escape cancels.
    runner_->request(Source::downloadsFile);
    ASSERT_TRUE(eventually(sheetShown));
    EXPECT_TRUE(test::isShown(*window, "startStreamHint"));
    EXPECT_FALSE(test::findItem(*window, "startButton")->isEnabled());
    EXPECT_TRUE(hasKeys("cancelButton"));
    press(Qt::Key_Return);
    EXPECT_EQ(window->property("starts").toInt(), 0);
    window->setProperty("hasStream", true);
    EXPECT_FALSE(test::isShown(*window, "startStreamHint"));
    EXPECT_TRUE(hasKeys("startButton"));
    press(Qt::Key_Return);
    EXPECT_EQ(window->property("starts").toInt(), 1);
    press(Qt::Key_Escape);
    EXPECT_EQ(runner_->stateKind(), FlashTestRunner::StateKind::idle);
    ASSERT_TRUE(eventually([&] { return !sheetShown(); }));

    // Running: the badge shows and lets clicks through; the menu's flash items wait.
    EXPECT_FALSE(test::isShown(*window, "badge"));
    EXPECT_TRUE(commands.canRequestFlashTest());
    target_->latency = 100;  // far from the measured 40 ms
    start(Source::dataURL);
    EXPECT_FALSE(commands.canRequestFlashTest());
    EXPECT_TRUE(test::isShown(*window, "badge"));
    test::click(*window, test::findItem(*window, "badge"));
    EXPECT_EQ(window->property("clicks").toInt(), 1);
    runToEnd();
    EXPECT_TRUE(commands.canRequestFlashTest());
    EXPECT_FALSE(test::isShown(*window, "badge"));

    // The report, orange for its mismatch; Copy replaces the clipboard; Escape only hides.
    ASSERT_TRUE(eventually(sheetShown));
    EXPECT_TRUE(hasKeys("closeReportButton"));
    QQuickItem* summary = test::findItem(*window, "summary");
    EXPECT_EQ(test::textOf(summary), runner_->summary());
    EXPECT_EQ(summary->property("color").value<QColor>(), QColor("orange"));
    QGuiApplication::clipboard()->setText("before");
    test::click(*window, test::findItem(*window, "copyButton"));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), runner_->summary());
    press(Qt::Key_Escape);
    EXPECT_FALSE(runner_->isPresented());
    EXPECT_EQ(runner_->stateKind(), FlashTestRunner::StateKind::finished);

    // A failure word for word; Return closes it.
    target_->clockNow = std::nullopt;
    runner_->run(Source::dataURL, target_);
    ASSERT_TRUE(eventually(sheetShown));
    EXPECT_EQ(test::textOf(test::findItem(*window, "failure")),
              "No clock sync yet. Start a stream and wait a few seconds.");
    EXPECT_TRUE(hasKeys("closeFailureButton"));
    press(Qt::Key_Return);
    EXPECT_EQ(runner_->stateKind(), FlashTestRunner::StateKind::idle);
}

}  // namespace
}  // namespace qm
