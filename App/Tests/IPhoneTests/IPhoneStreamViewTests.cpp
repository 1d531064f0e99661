#include <QQmlEngine>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/pixfmt.h>
}

#include "FakeAppModel.h"
#include "IPhone/IPhoneMirrorModel.h"
#include "IPhoneMirror/IPhoneCaptureError.h"
#include "Support/ManualTimerSource.h"
#include "Support/MediaFixtures.h"
#include "ViewTesting.h"

namespace qm {
namespace {

using namespace std::chrono_literals;
using test::findItem;
using test::isShown;
using test::textOf;

// Captures that fail as the test says, or hand it their frame handler.
struct FakeCaptures {
    struct Capture final : IPhoneMirrorModel::Capture {
        explicit Capture(FakeCaptures& captures) : owner(captures) {}
        void start(const std::string& deviceID) override {
            owner.started.push_back(deviceID);
            if (owner.failure) {
                std::rethrow_exception(owner.failure);
            }
        }
        void stop() override { ++owner.stops; }
        FakeCaptures& owner;
    };

    IPhoneMirrorModel::CaptureFactory factory() {
        return [this](IPhoneMirrorModel::FrameHandler handler) {
            onFrame = std::move(handler);
            return std::make_unique<Capture>(*this);
        };
    }

    std::exception_ptr failure;
    std::vector<std::string> started;
    int stops = 0;
    IPhoneMirrorModel::FrameHandler onFrame;
};

// Counts the hops posted to the application object.
struct HopCounter : QObject {
    bool eventFilter(QObject* watched, QEvent* event) override {
        hops += watched == QCoreApplication::instance() && event->type() == QEvent::MetaCall;
        return false;
    }
    int hops = 0;
};

class IPhoneStreamViewTest : public ::testing::Test {
protected:
    QQuickWindow& show() {
        window_.reset();
        mirror_ = std::make_unique<IPhoneMirrorModel>(captures_.factory(), timers_.makeTimer());
        window_ = test::showWindow(engine_, R"(
            import QtQuick
            import Vantorel
            Window {
                id: window
                required property AppModelBase shell
                required property IPhoneMirrorModel testMirror
                width: 320; height: 240
                IPhoneStreamView {
                    objectName: "view"
                    anchors.fill: parent
                    model: window.shell
                    mirror: window.testMirror
                    deviceID: "video0"
                    deviceName: "iPhone"
                }
            })",
                                   {{"shell", QVariant::fromValue<QObject*>(&shell_)},
                                    {"testMirror", QVariant::fromValue<QObject*>(mirror_.get())}});
        return *window_;
    }

    // The frame a drawn picture of this colour comes from.
    static DecodedFrame frame(QColor colour) {
        const int y =
            int(16 + 0.257 * colour.red() + 0.504 * colour.green() + 0.098 * colour.blue());
        const int cb =
            int(128 - 0.148 * colour.red() - 0.291 * colour.green() + 0.439 * colour.blue());
        const int cr =
            int(128 + 0.439 * colour.red() - 0.368 * colour.green() - 0.071 * colour.blue());
        return test::flatFrame(64, 48, AV_PIX_FMT_YUV420P, std::uint8_t(y), std::uint8_t(cb),
                               std::uint8_t(cr));
    }

    bool showsColour(QColor expected) {
        return QTest::qWaitFor([&] {
            // Below the card that says the mirror waits, which shows until the first second.
            const QColor seen = window_->grabWindow().pixelColor(160, 225);
            return std::abs(seen.red() - expected.red()) < 40 &&
                   std::abs(seen.green() - expected.green()) < 40 &&
                   std::abs(seen.blue() - expected.blue()) < 40;
        });
    }

    FakeCaptures captures_;
    test::ManualTimerSource timers_;
    test::FakeAppModel shell_;
    std::unique_ptr<IPhoneMirrorModel> mirror_;
    QQmlEngine engine_;
    test::ShownWindow window_;
};

TEST_F(IPhoneStreamViewTest, AFailedStartShowsItsTextAndBackWithoutTicking) {
    const std::string couldNotOpen =
        "Couldn't open the iPhone's screen. Unplug it, plug it back in and try again.";
    const struct {
        std::exception_ptr error;
        std::string text;
    } cases[] = {
        {std::make_exception_ptr(IPhoneCaptureError::cameraAccessDenied()),
         "Vantorel needs camera access to show the iPhone's screen (Linux treats the iPhone as a "
         "camera). Allow it by adding your user to the video group, then log in again."},
        {std::make_exception_ptr(IPhoneCaptureError::deviceGone()), "The iPhone was disconnected."},
        {std::make_exception_ptr(IPhoneCaptureError::cannotAddInput("iPhone")), couldNotOpen},
        {std::make_exception_ptr(std::runtime_error("anything else")), couldNotOpen},
    };
    for (const auto& failure : cases) {
        SCOPED_TRACE(failure.text);
        captures_.failure = failure.error;
        QQuickWindow& window = show();
        EXPECT_EQ(captures_.started.back(), "video0");
        EXPECT_TRUE(isShown(window, "failure"));
        EXPECT_EQ(mirror_->error().toStdString(), failure.text);
        EXPECT_FALSE(isShown(window, "waiting"));
        EXPECT_EQ(timers_.pending(), 0u);

        const int closes = shell_.closes;
        test::click(window, findItem(window, "back"));
        EXPECT_EQ(shell_.closes, closes + 1);
    }
}

TEST_F(IPhoneStreamViewTest, DrawsTheNewestFrameAndCountsDrawnFramesEachSecond) {
    QQuickWindow& window = show();
    EXPECT_TRUE(isShown(window, "waiting"));
    EXPECT_EQ(textOf(findItem(window, "hudText")), "0 fps · iPhone · beta");

    // Three frames arrive while the GUI thread is busy: one hop, which draws the last.
    std::vector<DecodedFrame> frames{frame(Qt::red), frame(Qt::green), frame(Qt::blue)};
    std::thread([&] {
        for (DecodedFrame& each : frames) {
            captures_.onFrame(std::move(each));
        }
    }).join();
    HopCounter counter;
    QCoreApplication::instance()->installEventFilter(&counter);
    QCoreApplication::sendPostedEvents(QCoreApplication::instance(), QEvent::MetaCall);
    QCoreApplication::instance()->removeEventFilter(&counter);
    EXPECT_EQ(counter.hops, 1);
    EXPECT_TRUE(showsColour(Qt::blue));
    timers_.advance(1s);
    EXPECT_EQ(mirror_->fps(), 1);
    EXPECT_FALSE(isShown(window, "waiting"));

    for (int drawn = 0; drawn < 30; ++drawn) {
        captures_.onFrame(frame(Qt::green));
        QCoreApplication::sendPostedEvents(QCoreApplication::instance(), QEvent::MetaCall);
    }
    timers_.advance(1s);
    EXPECT_EQ(textOf(findItem(window, "hudText")), "30 fps · iPhone · beta");
    EXPECT_TRUE(isShown(window, "hud"));
    shell_.settings()->setHudStyle(HUDStyle::hidden);
    EXPECT_FALSE(isShown(window, "hud"));
    shell_.settings()->setHudStyle(HUDStyle::compact);
    EXPECT_TRUE(isShown(window, "hud"));

    // A second without a drawn frame.
    timers_.advance(1s);
    EXPECT_EQ(mirror_->fps(), 0);
    EXPECT_TRUE(isShown(window, "waiting"));
    // The app's seconds are exact too.
    EXPECT_EQ(IPhoneMirrorModel::ticks().type(), Qt::PreciseTimer);
}

TEST_F(IPhoneStreamViewTest, EscapeLeavesAndLeavingStopsTheCapture) {
    QQuickWindow& window = show();
    EXPECT_EQ(timers_.pending(), 1u);
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(findItem(window, "view"), &escape);
    EXPECT_EQ(shell_.closes, 1);

    // The app model leaves the route, and the view goes.
    window_.reset();
    EXPECT_EQ(captures_.stops, 1);
    EXPECT_EQ(timers_.pending(), 0u);
}

}  // namespace
}  // namespace qm
