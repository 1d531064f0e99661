#include <cmath>
#include <limits>
#include <vector>

#include <QVector2D>

#include <gtest/gtest.h>

#include "Editor/EditorGeometry.h"
#include "Editor/KeymapFileDialogs.h"
#include "Editor/KeymapLabels.h"
#include "EditorTestActions.h"

namespace qm {
namespace {

using namespace test;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
const QRectF content(10, 20, 200, 100);

TEST(EditorGeometry, MapsFractionsPointsAndDrags) {
    EXPECT_EQ(EditorGeometry::point({0.5, 0.25}, content), QPointF(110, 45));
    EXPECT_EQ(EditorGeometry::rect({0.1, 0.2, 0.5, -0.5}, content), QRectF(30, 40, 100, -50));
    // Unclamped: a point off the picture gives fractions outside 0 to 1.
    EXPECT_EQ(EditorGeometry::normalized({-10, 170}, content), QPointF(-0.1, 1.5));
    for (const QRectF& degenerate : {QRectF(0, 0, 0, 100), QRectF(0, 0, 100, -1),
                                     QRectF(0, 0, nan, 100), QRectF(0, 0, 100, INFINITY)}) {
        EXPECT_EQ(EditorGeometry::normalized({5, 5}, degenerate), std::nullopt);
    }
    // The knob starts at (R k, R k); drawn, a stick or zone stops at its floor.
    EXPECT_DOUBLE_EQ(EditorGeometry::stickRadius(50, {}), 50);
    EXPECT_NEAR(EditorGeometry::stickRadius(50, {10, 10}), 50 + 10 * std::sqrt(2.0), 1e-9);
    EXPECT_NEAR(EditorGeometry::stickRadius(100, {-70.710678f, 0}), 70.710678, 1e-4);
    EXPECT_DOUBLE_EQ(EditorGeometry::liveStickRadius(0.25, {-40, -40}, content), 8);
    EXPECT_EQ(EditorGeometry::liveZone({0.5, 0.5, 0.25, 0.5}, {10, -45}, content),
              QRectF(110, 70, 60, 20));

    const std::vector<KeymapAction> actions = {tapAt(0.1, 0.1), lookOver({0, 0, 1, 1}),
                                               stickAt(0.2, 0.7, 0.1), tapAt(0.3, 0.3)};
    EXPECT_EQ(EditorGeometry::drawOrder(actions),
              (std::vector{actions[1], actions[0], actions[2], actions[3]}));
}

TEST(EditorGeometry, AGestureEndWritesOnceThenSelects) {
    KeymapFileDialogs dialogs;
    KeymapController keymap("com.game", std::nullopt, dialogs);
    const KeymapAction tap = tapAt(0.5, 0.5);
    const KeymapAction stick = stickAt(0.2, 0.7, 0.1);
    const KeymapAction look = lookOver({0.5, 0.5, 0.25, 0.25});
    keymap.setEditor(
        GameKeymapsEditorModel({"com.game", {layoutOf("Main", {tap, stick, look})}}, 0));
    const auto kind = [&](const KeymapAction& action) {
        return keymap.editor()->current().action(action.id)->kind;
    };

    // Dragged past the picture's edge: the model bounds what it stores.
    EditorGeometry::endMove(&keymap, idOf(tap), {0.5, 0.5}, {40, 80}, content);
    EXPECT_EQ(std::get<KeymapAction::Tap>(kind(tap)).at, (PointF{0.7, 1}));
    EXPECT_EQ(keymap.selection(), idOf(tap));
    // Off a degenerate picture a move only selects and a resize does nothing at all.
    for (const QRectF& degenerate : {QRectF(0, 0, 0, 100), QRectF(0, 0, nan, nan)}) {
        EditorGeometry::endMove(&keymap, idOf(stick), {0.2, 0.7}, {5, 5}, degenerate);
        EXPECT_EQ(keymap.selection(), idOf(stick));
        keymap.select(idOf(tap));
        EditorGeometry::endStickResize(&keymap, idOf(stick), 0.1, {50, 50}, degenerate);
        EditorGeometry::endLookResize(&keymap, idOf(look), {0.5, 0.5, 0.25, 0.25}, {5, 5},
                                      degenerate);
        EXPECT_EQ(keymap.selection(), idOf(tap));
    }
    EXPECT_EQ(undoSteps(keymap.editor()->current()), 1);

    // Shrunk past the floors and past the zone's corner: committed without the floors.
    EditorGeometry::endStickResize(&keymap, idOf(stick), 0.1, {-10, -10}, content);
    EXPECT_NEAR(std::get<KeymapAction::Stick>(kind(stick)).radius, (20 - 10 * std::sqrt(2.0)) / 200,
                1e-9);
    EditorGeometry::endLookResize(&keymap, idOf(look), {0.5, 0.5, 0.25, 0.25}, {-100, 0}, content);
    EXPECT_EQ(std::get<KeymapAction::Look>(kind(look)).zone, (RectF{0.25, 0.5, 0.25, 0.25}));
    EXPECT_EQ(keymap.selection(), idOf(look));
    EXPECT_EQ(undoSteps(keymap.editor()->current()), 3);
}

TEST(KeymapLabels, ChipsWhereTheControlsTouchWhilePlayingWithLabelsOn) {
    const KeymapProfile profile(
        "com.game", Orientation::landscape,
        {tapAt(0.5, 0.5, 0), stickAt(0.5, 0.5, 0.1), lookOver({0, 0, 1, 1})});
    // The radius is a fraction of the width on both axes.
    EXPECT_EQ(KeymapLabels::labels(profile, {0, 0, 1000, 500}),
              (std::vector<KeymapLabels::Label>{{"A", {500, 250}},
                                                {"W", {500, 150}},
                                                {"S", {500, 350}},
                                                {"A", {400, 250}},
                                                {"D", {600, 250}},
                                                {"", {500, 250}}}));

    KeymapFileDialogs dialogs;
    KeymapController keymap(std::nullopt, std::nullopt, dialogs);  // saving only plays
    KeymapLabels labels;
    labels.setKeymap(&keymap);
    keymap.loadActiveKeymaps();
    EXPECT_FALSE(labels.isShown());  // not in keymap mode
    keymap.setInputMode(InputMode::keymap);
    EXPECT_TRUE(labels.isShown());
    EXPECT_GT(labels.chips()->rowCount(), 0);
    keymap.beginEditing();
    EXPECT_FALSE(labels.isShown());
    EXPECT_EQ(labels.chips()->rowCount(), 0);
    keymap.setShowLabels(false);
    keymap.save();
    EXPECT_FALSE(labels.isShown());
}

}  // namespace
}  // namespace qm
