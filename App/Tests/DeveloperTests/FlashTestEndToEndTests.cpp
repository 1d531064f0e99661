// The flash test as the user runs it, in real time: the runner and the sampler watch a window
// that shows the real session's stream from the fake phone over the fake USB bus. The phone's
// clock is far from ours, and its screen shows the page's colours a fixed delay late.
#include <QCoreApplication>
#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QTest>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "Developer/FlashTestRunner.h"
#include "Developer/SessionFlashTarget.h"
#include "DeviceLink/DeviceLink.h"
#include "QuillmereKit/QtExecutor.h"
#include "QuillmereKit/Session/Session.h"
#include "Support/FakeUsb.h"
#include "Support/TestHost.h"
#include "VideoPipeline/View/VideoView.h"

namespace qm {
namespace {

using namespace std::chrono_literals;
using ::testing::IsEmpty;

const UsbAdbDevice phoneA{UsbInterfaceID::make(1, 4, 1, 0), "QM0001", "QM One"};
// From the page's flip to the phone's screen.
constexpr auto displayDelay = 40ms;
constexpr int waitMillis = 30'000;

class FlashTestEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = std::filesystem::temp_directory_path() /
                  ("qm-flash-" + std::to_string(::getpid()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(folder_);
        test::writeTestHostKey(folder_ / "adbkey");
    }

    void TearDown() override {
        runner_.reset();
        if (session_) {
            const GuiTask<void> stopped = session_->stop();
            EXPECT_TRUE(QTest::qWaitFor([&] { return stopped.isSettled(); }, waitMillis));
        }
        subscription_.reset();
        session_.reset();  // before the link it streams over
        link_.reset();
        if (device_) {
            EXPECT_THAT(device_->violations(), IsEmpty());
        }
        std::filesystem::remove_all(folder_);
    }

    // The phone's stream in a window of its own, as the app shows it.
    void stream(test::FakeServerScript script) {
        script.refusedWhileStarting = 0;
        script.flashPageDelay = displayDelay;
        // Days apart: a mapping that ignored the offset would match nothing.
        script.clockOffsetNanos = 400'000'000'000'000;
        test::FakeUsbDevice::Options options = test::trustingPhone();
        options.prepare = [script, trust = options.prepare](test::FakePhone& phone) {
            trust(phone);
            phone.server().setScript(script);
        };
        device_ = usb_.attach(phoneA, std::move(options));
        DeviceLinkOptions linkOptions;
        linkOptions.events = usb_.events();
        linkOptions.openTransport = usb_.opener();
        link_ = std::make_unique<DeviceLink>(folder_ / "adbkey", "tester@desk", linkOptions);
        session_ = std::make_shared<Session>(*link_, Bytes{'j', 'a', 'r'});
        bool connected = false;
        subscription_ = link_->states(states_, [&, this](const DeviceLinkState& state) {
            connected = std::holds_alternative<DeviceLinkState::Connected>(state.value);
            session_->deviceStateChanged(state);
        });
        link_->start();
        ASSERT_TRUE(QTest::qWaitFor([&] { return connected; }, waitMillis));

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
        session_->attach(window_->findChild<VideoView*>("video"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return window_->isExposed(); }, waitMillis));
        session_->start(std::nullopt, ServerOptions(0x1234));
        ASSERT_TRUE(QTest::qWaitFor([&] { return session_->phase() == SessionPhase::streaming(); },
                                    waitMillis));

        runner_ = std::make_unique<FlashTestRunner>(
            FlashTestRunner::Environment{.timers = timers_,
                                         .mainWindow = [this] { return window_; },
                                         .settleDelay = 500ms,
                                         .tickInterval = 100ms});
    }

    // Runs a test to its end.
    void runTest() {
        runner_->run(
            FlashTestRunner::Source::downloadsFile,
            std::make_shared<SessionFlashTarget>(session_, [this] { return link_->connection(); }));
        ASSERT_TRUE(QTest::qWaitFor([&] { return !runner_->isRunning(); }, waitMillis));
        EXPECT_TRUE(runner_->isPresented());
    }

    std::filesystem::path folder_;
    test::FakeUsb usb_;
    std::shared_ptr<test::FakeUsbDevice> device_;
    QObject context_;
    QtExecutor states_{&context_};
    std::unique_ptr<DeviceLink> link_;
    std::shared_ptr<Session> session_;
    std::unique_ptr<Subscription> subscription_;
    QQmlApplicationEngine engine_;
    QQuickWindow* window_ = nullptr;
    QtTimerSource timers_{Qt::PreciseTimer};
    std::unique_ptr<FlashTestRunner> runner_;
};

TEST_F(FlashTestEndToEnd, MeasuresThePhonesDisplayDelayThroughTheWholeStream) {
    ASSERT_NO_FATAL_FAILURE(stream({}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return session_->flashClock().has_value(); }, waitMillis));

    ASSERT_NO_FATAL_FAILURE(runTest());
    const auto* finished = std::get_if<FlashTestRunner::Finished>(&runner_->state());
    ASSERT_TRUE(finished) << runner_->failureMessage().toStdString();
    const FlashTestReport& report = finished->report;
    RecordProperty("medianMillis", std::to_string(report.medianMillis));
    EXPECT_GE(double(report.samplesMillis.size()), 0.8 * report.scheduledFlips);
    EXPECT_GE(report.medianMillis, double(displayDelay.count()));
    EXPECT_LE(report.medianMillis, double(displayDelay.count() + 50));
    EXPECT_EQ(device_->phone()->adb().services().openedURLs(),
              std::vector<std::string>{"file:///sdcard/Download/qm-flash.html"});
}

TEST_F(FlashTestEndToEnd, WithoutTheExtensionChannelThereIsNoClockAndNothingReachesThePhone) {
    test::FakeServerScript script;
    script.helloReply = test::FakeServerScript::HelloReply::silence;
    ASSERT_NO_FATAL_FAILURE(stream(script));

    ASSERT_NO_FATAL_FAILURE(runTest());
    EXPECT_EQ(runner_->failureMessage(),
              "No clock sync yet. Start a stream and wait a few seconds.");
    EXPECT_THAT(device_->phone()->adb().services().openedURLs(), IsEmpty());
}

}  // namespace
}  // namespace qm
