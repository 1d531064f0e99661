#include <QDateTime>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <memory>

#include <QtTest/QTest>

#include <gtest/gtest.h>

#include "FakeDeviceStates.h"
#include "Model/AppModel.h"
#include "QuillmereKit/Session/Session.h"
#include "Support/VirtualClock.h"
#include "ViewTesting.h"

namespace qm {
namespace {

using namespace std::chrono_literals;

// The mean brightness of a strip of the image.
double brightness(const QImage& image, const QRect& strip) {
    double sum = 0;
    for (int y = strip.top(); y <= strip.bottom(); ++y) {
        for (int x = strip.left(); x <= strip.right(); ++x) {
            sum += qGray(image.pixel(x, y));
        }
    }
    return sum / (strip.width() * strip.height());
}

// Anything but the black backdrop, on a coarse grid over the lower half, clear of the panels.
bool hasPicture(const QImage& image) {
    for (int y = image.height() / 2; y < image.height(); y += image.height() / 10) {
        for (int x = image.width() / 20; x < image.width(); x += image.width() / 10) {
            if (qGray(image.pixel(x, y)) > 40) {
                return true;
            }
        }
    }
    return false;
}

TEST(HUDOverDemoTest, ThePanelsSitInTheCornerAndTheVideoShowsThroughTheHUD) {
    QStandardPaths::setTestModeEnabled(true);
    QTemporaryDir folder;
    QSettings store(folder.filePath("settings.ini"), QSettings::IniFormat);
    AppSettings settings(store);
    settings.setHudStyle(HUDStyle::full);
    // The demo plays its first 300 ms at once, then its picture stands still.
    test::VirtualClock clock(0, 300'000'000);

    AppModelEnvironment environment;
    environment.deviceStates = std::make_shared<test::FakeDeviceStates>();
    environment.makeSession = [&clock](Bytes) {
        SessionEnvironment demo;
        demo.demoClock = clock.taskClock();
        return std::make_shared<Session>(
            [](const ServerOptions&, std::stop_token) -> ServerConnection {
                throw SessionFailure::disconnected();
            },
            std::move(demo));
    };
    environment.timers = std::make_shared<QtTimerSource>();
    environment.bundle = Bundle(QStringLiteral(QM_APP_RESOURCES));
    environment.capturesDirectory = folder.filePath("Captures").toStdString();
    environment.libraryCacheDirectory = folder.filePath("Library").toStdString();
    environment.now = QDateTime::currentDateTimeUtc;
    environment.displayMaxFps = [] { return 60; };
    environment.quit = [] {};
    environment.hostedByTests = true;
    AppModel model(settings, std::move(environment));

    QQmlEngine engine;
    const test::ShownWindow window =
        test::showWindow(engine, R"(
        import QtQuick
        import Vantorel
        Window {
            id: root
            width: 960; height: 540
            required property AppModelBase model
            // The stream screen comes with the session, so its video is attached before the
            // first frame.
            Loader {
                objectName: "streamViewPlace"
                anchors.fill: parent
                active: root.model.session !== null
                sourceComponent: StreamView {
                    model: root.model; session: root.model.session; packageName: ""
                }
            }
        })",
                         {{"model", QVariant::fromValue(static_cast<AppModelBase*>(&model))}});
    ASSERT_TRUE(window);
    model.startDemo();
    // The still picture, drawn: two grabs alike, with a picture, once the player has parked.
    QImage shown;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const QImage next = window->grabWindow();
            const bool still = clock.parked() && hasPicture(next) && next == shown;
            shown = next;
            return still;
        },
        20'000));
    shown.save(QStringLiteral(QT_TESTCASE_BUILDDIR "/hud-over-demo.png"));

    QQuickItem* bar = test::findItem(*window, "streamToolbar");
    QQuickItem* panel = test::findItem(*window, "hudPanel");
    ASSERT_TRUE(bar && panel && bar->isVisible() && panel->isVisible());
    const QRectF barRect = bar->mapRectToScene(bar->boundingRect());
    const QRectF panelRect = panel->mapRectToScene(panel->boundingRect());
    EXPECT_EQ(barRect.topLeft(), QPointF(12, 12));
    EXPECT_EQ(panelRect.topLeft(), QPointF(barRect.right() + 8, 12));

    // The strip of padding above the first row, clear of the rounded corners.
    const QRect strip = panelRect.toRect().adjusted(10, 1, -10, 0);
    settings.setHudStyle(HUDStyle::hidden);
    QImage bare;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        bare = window->grabWindow();
        return bare != shown;
    }));
    const double under = brightness(bare, QRect(strip.topLeft(), QSize(strip.width(), 5)));
    const double through = brightness(shown, QRect(strip.topLeft(), QSize(strip.width(), 5)));
    EXPECT_GT(under, 20) << "the demo's picture is dark there";
    EXPECT_LT(through, under * 0.75);
    EXPECT_GT(through, under * 0.2);

    model.closeStream();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model.isStopPending(); }));
    // The stream screen goes before its window, as when the route changes.
    test::findItem(*window, "streamViewPlace")->setProperty("active", false);
}

}  // namespace
}  // namespace qm
