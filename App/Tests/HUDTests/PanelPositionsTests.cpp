#include <QFile>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSettings>
#include <QTemporaryDir>
#include <memory>
#include <string>

#include <QtTest/QTest>

#include <gtest/gtest.h>

#include "HUD/PanelPositions.h"
#include "Input/OverlayFrameRegistry.h"
#include "ViewTesting.h"

namespace qm {
namespace {

using Panel = PanelPositions::Panel;

// A store over an INI file written as a user would edit it; a new file each time, since Qt
// caches what it read from a path.
class PanelPositionsTest : public ::testing::Test {
protected:
    std::unique_ptr<QSettings> store(const QByteArray& lines = {}) {
        const QString path = folder.filePath(QString("Vantorel%1.ini").arg(++files));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[General]\n" + lines);
        file.close();
        return std::make_unique<QSettings>(path, QSettings::IniFormat);
    }

    QTemporaryDir folder;
    int files = 0;
};

TEST_F(PanelPositionsTest, OnlyAStoredPairOfFiniteNumbersIsADisplacement) {
    const struct {
        QByteArray stored;
        QSizeF offset;
    } cases[] = {
        {"10, -20", {10, -20}}, {"2.5, 0", {2.5, 0}}, {"nan, 1", {0, 0}},  {"1, inf", {0, 0}},
        {"10", {0, 0}},         {"a, b", {0, 0}},     {"1, 2, 3", {0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored.toStdString());
        const auto defaults = store("panelOffset.hud=" + c.stored + "\n");
        const PanelPositions positions(*defaults);
        EXPECT_EQ(positions.offset(Panel::hud), c.offset);
        EXPECT_EQ(positions.offset(Panel::toolbar), QSizeF(0, 0));
        // An unreadable value is left as it is.
        EXPECT_TRUE(defaults->contains("panelOffset.hud"));
    }
}

TEST_F(PanelPositionsTest, ADragIsStoredWithThePanelInSightInTheStreamArea) {
    const QRectF rest(12, 12, 100, 40);
    const struct {
        QSizeF translation;
        QRectF area;
        QSizeF stored;
    } cases[] = {
        // 48 of its leading edge in sight at the far side; all of its 40 high.
        {{500, 400}, {0, 0, 400, 300}, {340, 248}},
        {{-370, -280}, {0, 0, 400, 300}, {-64, -12}},
        {{-50, 200}, {0, 0, 400, 300}, {-50, 200}},
        {{30, 10}, {0, 0, 40, 300}, {0, 10}},  // too narrow to move sideways
        {{30, 10}, {}, {0, 0}},                // no stream area measured
        {{qQNaN(), 10}, {0, 0, 400, 300}, {0, 10}},
        // A layer placed at the stream's trailing edge sees the area to its left.
        {{500, 0}, {-500, -20, 540, 300}, {-20, 0}},
    };
    for (const auto& c : cases) {
        const auto defaults = store();
        PanelPositions positions(*defaults);
        positions.endDrag("recording", c.translation, rest, c.area);
        EXPECT_EQ(positions.offset(Panel::recording), c.stored);
        const QVariantList written = defaults->value("panelOffset.recording").toList();
        ASSERT_EQ(written.size(), 2);
        EXPECT_EQ(QSizeF(written[0].toDouble(), written[1].toDouble()), c.stored);
    }
}

TEST_F(PanelPositionsTest, ResetRemovesEveryKeyAndDisplacement) {
    const auto defaults = store(
        "panelOffset.toolbar=1, 2\npanelOffset.hud=3, 4\npanelOffset.recording=x\n"
        "hudStyle=compact\n");
    PanelPositions positions(*defaults);
    positions.reset();
    EXPECT_EQ(defaults->allKeys(), QStringList{"hudStyle"});
    EXPECT_EQ(positions.offset(Panel::hud), QSizeF(0, 0));
}

// A press that moves less than the threshold is a click on the control inside; a longer one
// drags the whole panel, its overlay frame with it.
TEST_F(PanelPositionsTest, APanelIsDraggedAnywhereButClicksStillReachItsControls) {
    const auto defaults = store();
    PanelPositions positions(*defaults);
    OverlayFrameRegistry frames;
    QQmlEngine engine;
    const test::ShownWindow window = test::showWindow(
        engine, R"(
        import QtQuick
        import QtQuick.Controls
        import Vantorel
        Window {
            id: root
            width: 640; height: 360
            required property PanelPositions positions
            required property OverlayFrameRegistry frames
            property int clicks: 0
            MovablePanel {
                x: 100; y: 100
                panel: "hud"; positions: root.positions; area: Qt.rect(0, 0, 640, 360)
                Rectangle {
                    objectName: "frame"
                    width: row.implicitWidth; height: row.implicitHeight
                    OverlayControl.registry: root.frames
                    Row {
                        id: row
                        PanelGrip { objectName: "grip" }
                        Button { objectName: "button"; text: "Go"; onClicked: root.clicks++ }
                    }
                }
            }
        })",
        {{"positions", QVariant::fromValue(&positions)}, {"frames", QVariant::fromValue(&frames)}});
    ASSERT_TRUE(window);
    const auto centre = [&](const char* name) {
        const QQuickItem* item = window->findChild<QQuickItem*>(name);
        return item->mapToScene(item->boundingRect().center()).toPoint();
    };
    const auto press = [&](QPoint from, QPoint by) {
        QTest::mousePress(window.get(), Qt::LeftButton, {}, from);
        for (int step = 1; step <= 5; ++step) {
            QTest::mouseMove(window.get(), from + by * step / 5);
        }
        QTest::mouseRelease(window.get(), Qt::LeftButton, {}, from + by);
    };
    ASSERT_EQ(frames.frames().size(), 1);
    const QRectF resting = frames.frames().front();

    press(centre("button"), {3, 0});
    EXPECT_EQ(window->property("clicks"), 1);
    EXPECT_FALSE(defaults->contains("panelOffset.hud"));

    const QPoint grip = centre("grip");
    press(grip, {50, 0});
    EXPECT_EQ(window->property("clicks"), 1);
    EXPECT_EQ(positions.offset(Panel::hud), QSizeF(50, 0));
    EXPECT_EQ(centre("grip"), grip + QPoint(50, 0));
    EXPECT_EQ(frames.frames(), QList<QRectF>{resting.translated(50, 0)});
}

}  // namespace
}  // namespace qm
