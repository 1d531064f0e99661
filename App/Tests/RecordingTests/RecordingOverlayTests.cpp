#include <QCoreApplication>
#include <QDBusConnection>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSettings>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <string>

#include <QtTest/QTest>

#include <gtest/gtest.h>

#include "HUD/PanelPositions.h"
#include "Input/OverlayFrameRegistry.h"
#include "Recording/RecordingOverlayModel.h"
#include "Support/FakeRecordingSession.h"
#include "Support/ManualTimerSource.h"
#include "ViewTesting.h"

namespace qm {
namespace {

using namespace std::chrono_literals;
using test::FakeRecordingSession;

// The views are drawn in the app's style, whose hover and press backgrounds are light; set
// before the program's first view imports the controls.
[[maybe_unused]] const bool appStyle = qputenv("QT_QUICK_CONTROLS_STYLE", "Fusion");

// The contrast ratio of a button's mark against its background as drawn: the colour in the
// middle of the button farthest from the one just inside its leading edge, against that one.
double markContrast(QQuickWindow& window, const QQuickItem& button) {
    const QImage image = window.grabWindow();
    const qreal scale = window.devicePixelRatio();
    const QRectF place = button.mapRectToScene(button.boundingRect());
    const QRect area(QRectF(place.topLeft() * scale, place.size() * scale).toAlignedRect());
    const auto luminance = [](const QColor& colour) {
        const auto linear = [](double channel) {
            return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) +
               0.0722 * linear(colour.blueF());
    };
    const double paper = luminance(image.pixelColor(area.left() + 2, area.center().y()));
    double ink = paper;
    const QRect middle =
        area.adjusted(area.width() / 4, area.height() / 4, -area.width() / 4, -area.height() / 4);
    for (int y = middle.top(); y <= middle.bottom(); ++y) {
        for (int x = middle.left(); x <= middle.right(); ++x) {
            const double seen = luminance(image.pixelColor(x, y));
            if (std::abs(seen - paper) > std::abs(ink - paper)) {
                ink = seen;
            }
        }
    }
    return (std::max(ink, paper) + 0.05) / (std::min(ink, paper) + 0.05);
}

TEST(RecordingOverlayModelTest, ElapsedTimeIsWholeSecondsAndNeverBelowZero) {
    const QDateTime start(QDate(2026, 12, 6), QTime(7, 31, 24), Qt::UTC);
    const struct {
        qint64 millis;
        QString text;
    } cases[] = {{0, "0:00"},      {999, "0:00"},      {1000, "0:01"},       {7'500, "0:07"},
                 {75'000, "1:15"}, {754'000, "12:34"}, {4'500'000, "75:00"}, {-5'000, "0:00"}};
    for (const auto& c : cases) {
        EXPECT_EQ(RecordingOverlayModel::elapsedText(start, start.addMSecs(c.millis)), c.text)
            << c.millis;
    }
}

class RecordingOverlayTest : public ::testing::Test {
protected:
    void advance(std::chrono::milliseconds by) {
        now = now.addMSecs(by.count());
        timers.advance(by);
    }

    QTemporaryDir movies;
    QDateTime now = QDateTime(QDate(2026, 12, 6), QTime(7, 31, 24), Qt::UTC);
    test::ManualTimerSource timers;
    FakeRecordingSession session;
    RecordingController controller{movies.path().toStdString(),
                                   FileReveal(QDBusConnection(QString()), {}),
                                   [this] { return now; }};
    RecordingOverlayModel overlay{controller, timers, [this] { return now; }};
};

TEST_F(RecordingOverlayTest, TheStreamLeavingStreamingOrGoingEndsTheRunningDisplay) {
    overlay.setSession(&session);
    overlay.toggleRecording();
    session.setPhase(SessionPhase::streaming());  // no change
    EXPECT_TRUE(overlay.showsPill());
    session.setPhase(SessionPhase::waitingForDevice());
    EXPECT_FALSE(overlay.showsPill());
    EXPECT_TRUE(controller.isFinishing());
    EXPECT_EQ(timers.pending(), 0u);

    session.setPhase(SessionPhase::streaming());
    overlay.toggleRecording();
    {
        FakeRecordingSession next;
        overlay.setSession(&next);
        EXPECT_TRUE(overlay.showsPill());
    }
    EXPECT_FALSE(overlay.showsPill() || overlay.showsRecordPanel());
}

TEST_F(RecordingOverlayTest, TheViewsShowTheRecordButtonThePillAndTheOutcome) {
    QSettings settings(movies.filePath("Vantorel.ini"), QSettings::IniFormat);
    PanelPositions positions(settings);
    OverlayFrameRegistry frames;
    QQmlEngine engine;
    const test::ShownWindow window =
        test::showWindow(engine, R"(
        import QtQuick
        import Vantorel
        Window {
            id: root
            width: 640; height: 360
            color: "black"  // the stream's backdrop
            required property RecordingOverlayModel overlay
            required property PanelPositions positions
            required property OverlayFrameRegistry frames
            RecordingLayer {
                anchors.top: parent.top; anchors.right: parent.right
                overlay: root.overlay; positions: root.positions; overlayFrames: root.frames
                area: Qt.rect(-x, -y, 640, 360)
            }
            RecordingMessages {
                anchors.bottom: parent.bottom; anchors.right: parent.right
                recording: root.overlay.recording; overlayFrames: root.frames
            }
        })",
                         {{"overlay", QVariant::fromValue(&overlay)},
                          {"positions", QVariant::fromValue(&positions)},
                          {"frames", QVariant::fromValue(&frames)}});
    ASSERT_TRUE(window);
    const auto item = [&](const char* name) { return test::findItem(*window, name); };

    session.setCanRecord(false);  // the demo stream
    overlay.setSession(&session);
    EXPECT_FALSE(item("recordPanel")->isVisible());
    EXPECT_TRUE(frames.frames().isEmpty());
    session.setCanRecord(true);
    ASSERT_TRUE(item("recordPanel")->isVisible());
    EXPECT_EQ(frames.frames().size(), 1);

    QQuickItem* button = item("recordButton");
    // The panel is laid out when the next frame is made.
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return window->contentItem()->contains(button->mapToScene(button->boundingRect().center()));
    }));
    const auto placeOf = [](QQuickItem* each) {
        return each->mapRectToScene(each->boundingRect());
    };
    const QRectF recordAt = placeOf(button);
    // The white mark stays clear under the pointer and while pressed.
    const QPoint centre = recordAt.center().toPoint();
    QTest::mouseMove(window.get(), centre);
    ASSERT_TRUE(QTest::qWaitFor([&] { return button->property("hovered").toBool(); }));
    ASSERT_TRUE(test::waitForFrame(*window));
    EXPECT_GE(markContrast(*window, *button), 4.5) << "hovered";
    QTest::mousePress(window.get(), Qt::LeftButton, {}, centre);
    ASSERT_TRUE(button->property("down").toBool());
    ASSERT_TRUE(test::waitForFrame(*window));
    EXPECT_GE(markContrast(*window, *button), 4.5) << "pressed";
    QTest::mouseRelease(window.get(), Qt::LeftButton, {}, centre);
    ASSERT_TRUE(item("pill")->isVisible());
    EXPECT_FALSE(item("recordPanel")->isVisible());
    EXPECT_EQ(test::textOf(item("elapsed")), "0:00");
    // Stop lies under the pointer that started the recording, and stays as the time grows.
    QQuickItem* stop = item("stopButton");
    EXPECT_TRUE(QTest::qWaitFor([&] { return placeOf(stop) == recordAt; })) << "stop moved";
    advance(999ms);
    EXPECT_EQ(test::textOf(item("elapsed")), "0:00");
    advance(1ms);
    EXPECT_EQ(test::textOf(item("elapsed")), "0:01");
    // A late tick is re-armed to the next whole second, not a second after itself.
    now = now.addMSecs(1300);
    timers.advance(1s);
    EXPECT_EQ(overlay.elapsedText(), "0:02");
    advance(699ms);
    EXPECT_EQ(overlay.elapsedText(), "0:02");
    advance(1ms);
    EXPECT_EQ(overlay.elapsedText(), "0:03");
    now = now.addSecs(600);
    timers.advance(1s);
    EXPECT_EQ(test::textOf(item("elapsed")), "10:03");
    EXPECT_TRUE(QTest::qWaitFor([&] { return placeOf(stop) == recordAt; })) << "stop moved";

    EXPECT_FALSE(item("savedPanel")->isVisible());
    controller.stop(session);
    session.stops.back()(session.started.back());
    ASSERT_TRUE(QTest::qWaitFor([&] { return item("savedPanel")->isVisible(); }));
    EXPECT_FALSE(item("errorPanel")->isVisible());
    // Its words clear of the button's frame.
    QQuickItem* reveal = test::findItem(item("savedPanel"), "showInFolder");
    EXPECT_GE(reveal->width() - reveal->property("implicitContentWidth").toDouble(), 20);
    // Closed with its ✕, the message leaves the keys to the screen's first control.
    QQuickItem* dismiss = test::findItem(item("savedPanel"), "dismissMessage");
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return window->contentItem()->contains(
            dismiss->mapToScene(dismiss->boundingRect().center()));
    }));
    test::click(*window, dismiss);
    EXPECT_FALSE(item("savedPanel")->isVisible());
    EXPECT_EQ(window->activeFocusItem(), item("recordButton"));
}

}  // namespace
}  // namespace qm
