#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Input/OverlayClickFilter.h"
#include "Input/OverlayFrameRegistry.h"

namespace qm {
namespace {

TEST(OverlayClickFilterTest, KeepsPressesOnControlsTheirReleasesAndTheirDoubleClicksFromThePhone) {
    const QList<QRectF> control = {QRectF(100, 100, 50, 20)};
    const QList<QRectF> closed;
    // Qt's defaults.
    const OverlayClickFilter::DoubleClick doubleClick{400, 5};
    struct Event {
        int button;
        bool down;
        QPointF point;
        QList<QRectF> overlays;
        bool forwarded;
        std::uint64_t time = 0;
        // Taken by a dialog over the window, which the filter only hears of.
        bool dialog = false;
    };
    struct Case {
        std::string name;
        std::vector<Event> events;
    };
    const std::vector<Case> cases = {
        {"press on, release outside",
         {{0, true, {120, 110}, control, false}, {0, false, {10, 10}, control, false}}},
        {"press outside, release on",
         {{0, true, {10, 10}, control, true}, {0, false, {120, 110}, control, true}}},
        {"left and top edges are on",
         {{0, true, {100, 110}, control, false},
          {1, true, {120, 100}, control, false},
          {0, false, {100, 110}, control, false},
          {1, false, {120, 100}, control, false}}},
        {"right and bottom edges are off",
         {{0, true, {150, 110}, control, true},
          {1, true, {120, 120}, control, true},
          {0, false, {150, 110}, control, true},
          {1, false, {120, 120}, control, true}}},
        {"buttons apart",
         {{0, true, {120, 110}, control, false},
          {1, true, {10, 10}, control, true},
          {1, false, {120, 110}, control, true},
          {0, false, {10, 10}, control, false}}},
        {"a press outside clears a swallowed button",
         {{2, true, {120, 110}, control, false},
          {2, true, {10, 10}, control, true},
          {2, false, {10, 10}, control, true}}},
        {"a gone control blocks nothing",
         {{0, true, {120, 110}, {}, true}, {0, false, {120, 110}, {}, true}}},
        {"the second click on a control that closed at the first, not a third",
         {{0, true, {120, 110}, control, false, 1000},
          {0, false, {120, 110}, control, false, 1060},
          {0, true, {125, 105}, closed, false, 1120},
          {0, false, {125, 105}, closed, false, 1180},
          {0, true, {125, 105}, closed, true, 1240},
          {0, false, {125, 105}, closed, true, 1300}}},
        {"the second click on a dialog that closed at the first",
         {{0, true, {120, 110}, {}, false, 1000, true},
          {0, true, {120, 110}, closed, false, 1120},
          {0, false, {120, 110}, closed, false, 1180}}},
        {"too late, too far, another button or after a touch: no double click",
         {{0, true, {120, 110}, control, false, 1000},
          {0, true, {120, 110}, closed, true, 1400},
          {0, true, {120, 110}, control, false, 2000},
          {0, true, {126, 110}, closed, true, 2100},
          {0, true, {120, 110}, control, false, 3000},
          {1, true, {120, 110}, closed, true, 3100},
          {0, true, {120, 110}, control, false, 4000},
          {0, true, {300, 300}, control, true, 4050},
          {0, true, {120, 110}, closed, true, 4100},
          {0, true, {120, 110}, control, false, 5000},
          {0, true, {120, 110}, closed, true, 4990},
          {0, false, {120, 110}, closed, true, 4995},
          {1, false, {120, 110}, closed, true, 4995}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OverlayClickFilter filter;
        for (const Event& e : c.events) {
            const OverlayClickFilter::Press press{e.button, e.point, e.time};
            if (e.dialog) {
                filter.noteTaken(press, doubleClick);
                continue;
            }
            EXPECT_EQ(filter.forwards(press, e.down, e.overlays, doubleClick), e.forwarded)
                << e.time;
        }
        EXPECT_TRUE(filter.swallowed.empty());
    }
}

class OverlayControlTest : public ::testing::Test {
protected:
    OverlayControlTest() {
        QQmlComponent component(&engine);
        component.setData(R"(
            import QtQuick
            import Vantorel
            Window {
                property OverlayFrameRegistry registry
                Item {
                    objectName: "panel"
                    x: 100; y: 50
                    Item {
                        x: 10; y: 20
                        Rectangle {
                            objectName: "control"
                            x: 5; y: 5; width: 40; height: 30
                            OverlayControl.registry: registry
                        }
                    }
                }
            })",
                          QUrl());
        window.reset(qobject_cast<QQuickWindow*>(
            component.createWithInitialProperties({{"registry", QVariant::fromValue(&registry)}})));
        EXPECT_TRUE(window) << component.errorString().toStdString();
    }

    QQuickItem* item(const char* name) { return window->findChild<QQuickItem*>(name); }

    QQmlEngine engine;
    OverlayFrameRegistry registry;
    std::unique_ptr<QQuickWindow> window;
};

TEST_F(OverlayControlTest, FollowsItsItemAndEveryPanelAroundIt) {
    ASSERT_TRUE(window);
    EXPECT_EQ(registry.frames(), QList<QRectF>{QRectF(115, 75, 40, 30)});

    item("panel")->setPosition({300, 200});  // dragged
    EXPECT_EQ(registry.frames(), QList<QRectF>{QRectF(315, 225, 40, 30)});
    item("control")->setWidth(60);
    EXPECT_EQ(registry.frames(), QList<QRectF>{QRectF(315, 225, 60, 30)});

    // Moved into another panel: that one's moves count now.
    QQuickItem* other = new QQuickItem(window->contentItem());
    other->setPosition({1, 2});
    item("control")->setParentItem(other);
    EXPECT_EQ(registry.frames(), QList<QRectF>{QRectF(6, 7, 60, 30)});
    other->setX(11);
    EXPECT_EQ(registry.frames(), QList<QRectF>{QRectF(16, 7, 60, 30)});
    item("panel")->setX(0);
    EXPECT_EQ(registry.frames(), QList<QRectF>{QRectF(16, 7, 60, 30)});
}

TEST_F(OverlayControlTest, LeavesTheRegistryWhenHiddenOutOfItsWindowOrGone) {
    ASSERT_TRUE(window);
    item("panel")->setVisible(false);
    EXPECT_TRUE(registry.frames().isEmpty());
    item("panel")->setVisible(true);
    EXPECT_EQ(registry.frames().size(), 1);

    QQuickItem* control = item("control");
    QQuickItem* parent = control->parentItem();
    control->setParentItem(nullptr);
    EXPECT_TRUE(registry.frames().isEmpty());
    control->setParentItem(parent);
    EXPECT_EQ(registry.frames().size(), 1);

    delete control;
    EXPECT_TRUE(registry.frames().isEmpty());
}

}  // namespace
}  // namespace qm
