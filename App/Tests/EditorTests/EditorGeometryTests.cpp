#include <cmath>
#include <limits>
#include <string>
#include <variant>
#include <vector>

#include <QVector2D>

#include <gtest/gtest.h>

#include "Editor/EditorGeometry.h"
#include "Editor/KeymapFileDialogs.h"
#include "Editor/KeymapLabels.h"

namespace qm {
namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double infinity = std::numeric_limits<double>::infinity();
const QRectF content(10, 20, 200, 100);

KeymapAction tap(double x, double y, std::uint16_t key = 13) {
    return {UUID::random(), KeymapAction::Tap{Trigger::key(key), {x, y}}};
}

KeymapAction stick(double x, double y, double radius) {
    return {UUID::random(), KeymapAction::Stick{Trigger::key(13),
                                                Trigger::key(1),
                                                Trigger::key(0),
                                                Trigger::key(2),
                                                std::nullopt,
                                                {x, y},
                                                radius}};
}

KeymapAction look(RectF zone) {
    return {UUID::random(),
            KeymapAction::Look{
                {zone.x + zone.width / 2, zone.y + zone.height / 2}, zone, 1.0, std::nullopt}};
}

TEST(EditorGeometry, MapsFractionsAndPointsBothWays) {
    EXPECT_EQ(EditorGeometry::point({0.5, 0.25}, content), QPointF(110, 45));
    EXPECT_EQ(EditorGeometry::rect({0.1, 0.2, 0.5, -0.5}, content), QRectF(30, 40, 100, -50));
    // Unclamped: a point off the picture gives fractions outside 0 to 1.
    EXPECT_EQ(EditorGeometry::normalized({-10, 170}, content), QPointF(-0.1, 1.5));
    for (const QRectF& degenerate : {QRectF(0, 0, 0, 100), QRectF(0, 0, 100, -1),
                                     QRectF(0, 0, nan, 100), QRectF(0, 0, 100, infinity)}) {
        EXPECT_EQ(EditorGeometry::normalized({5, 5}, degenerate), std::nullopt);
    }

    // The knob starts at (R k, R k): no drag keeps the radius, a drag along the diagonal adds to
    // it.
    EXPECT_DOUBLE_EQ(EditorGeometry::stickRadius(50, {}), 50);
    EXPECT_NEAR(EditorGeometry::stickRadius(50, {10, 10}), 50 + 10 * std::sqrt(2.0), 1e-9);
    EXPECT_NEAR(EditorGeometry::stickRadius(100, {-70.71067811865476f, 0}), 70.71067811865476,
                1e-4);
    // While dragged, never drawn below the floors; a zone keeps its top-left corner.
    EXPECT_DOUBLE_EQ(EditorGeometry::liveStickRadius(0.25, {}, content), 50);
    EXPECT_DOUBLE_EQ(EditorGeometry::liveStickRadius(0.25, {-40, -40}, content), 8);
    EXPECT_EQ(EditorGeometry::liveZone({0.5, 0.5, 0.25, 0.5}, {10, -45}, content),
              QRectF(110, 70, 60, 20));
}

TEST(EditorGeometry, DrawsZonesUnderEverythingElse) {
    const std::vector<KeymapAction> actions = {tap(0.1, 0.1), look({0, 0, 1, 1}),
                                               stick(0.2, 0.7, 0.1), tap(0.3, 0.3)};
    const std::vector<KeymapAction> order = EditorGeometry::drawOrder(actions);
    EXPECT_EQ(order, (std::vector{actions[1], actions[0], actions[2], actions[3]}));
}

TEST(EditorGeometry, AGestureEndWritesOnceThenSelects) {
    KeymapFileDialogs dialogs;
    KeymapController keymap("com.game", std::nullopt, dialogs);
    const KeymapAction moved = tap(0.5, 0.5);
    const KeymapAction resized = stick(0.2, 0.7, 0.1);
    const KeymapAction zone = look({0.5, 0.5, 0.25, 0.25});
    keymap.setEditor(GameKeymapsEditorModel(
        {"com.game",
         {{UUID::random(), "Main", std::nullopt,
           KeymapProfile("com.game", Orientation::landscape, {moved, resized, zone})}}},
        0));
    const auto id = [](const KeymapAction& action) {
        return QString::fromStdString(action.id.uuidString());
    };
    const auto kind = [&](const KeymapAction& action) {
        return keymap.editor()->current().action(action.id)->kind;
    };
    const auto undoSteps = [&] {
        auto model = keymap.editor()->current();
        int steps = 0;
        for (; model.canUndo(); ++steps) {
            model.undo();
        }
        return steps;
    };

    // Dragged past the picture's edge: the model bounds what it stores.
    EditorGeometry::endMove(&keymap, id(moved), {0.5, 0.5}, {40, 80}, content);
    EXPECT_EQ(std::get<KeymapAction::Tap>(kind(moved)).at, (PointF{0.7, 1}));
    EXPECT_EQ(keymap.selection(), id(moved));

    // Off a degenerate picture a move only selects and a resize does nothing at all.
    for (const QRectF& degenerate : {QRectF(0, 0, 0, 100), QRectF(0, 0, nan, nan)}) {
        EditorGeometry::endMove(&keymap, id(resized), {0.2, 0.7}, {5, 5}, degenerate);
        EXPECT_EQ(keymap.selection(), id(resized));
        keymap.select(id(moved));
        EditorGeometry::endStickResize(&keymap, id(resized), 0.1, {50, 50}, degenerate);
        EditorGeometry::endLookResize(&keymap, id(zone), {0.5, 0.5, 0.25, 0.25}, {5, 5},
                                      degenerate);
        EXPECT_EQ(keymap.selection(), id(moved));
    }
    EXPECT_EQ(std::get<KeymapAction::Stick>(kind(resized)).center, (PointF{0.2, 0.7}));
    EXPECT_EQ(undoSteps(), 1);

    // Shrunk past the floors and past the zone's corner: committed without the floors.
    EditorGeometry::endStickResize(&keymap, id(resized), 0.1, {-10, -10}, content);
    EXPECT_NEAR(std::get<KeymapAction::Stick>(kind(resized)).radius,
                (20 - 10 * std::sqrt(2.0)) / 200, 1e-9);
    EXPECT_EQ(keymap.selection(), id(resized));
    EditorGeometry::endLookResize(&keymap, id(zone), {0.5, 0.5, 0.25, 0.25}, {-100, 0}, content);
    EXPECT_EQ(std::get<KeymapAction::Look>(kind(zone)).zone, (RectF{0.25, 0.5, 0.25, 0.25}));
    EXPECT_EQ(keymap.selection(), id(zone));
    EXPECT_EQ(undoSteps(), 3);
}

TEST(KeymapLabels, PutsChipsWhereTheControlsTouch) {
    const KeymapProfile profile("com.game", Orientation::landscape,
                                {tap(0.5, 0.5, 0), stick(0.5, 0.5, 0.1), look({0, 0, 1, 1})});
    const QRectF wide(0, 0, 1000, 500);
    // The radius is a fraction of the width on both axes.
    EXPECT_EQ(KeymapLabels::labels(profile, wide),
              (std::vector<KeymapLabels::Label>{{"A", {500, 250}},
                                                {"W", {500, 150}},
                                                {"S", {500, 350}},
                                                {"A", {400, 250}},
                                                {"D", {600, 250}},
                                                {"", {500, 250}}}));
}

TEST(KeymapLabels, ShowsOnlyWhilePlayingWithLabelsOn) {
    KeymapFileDialogs dialogs;
    KeymapController keymap("com.game", std::nullopt, dialogs);
    KeymapLabels labels;
    labels.setContentRect(content);
    labels.setKeymap(&keymap);
    EXPECT_FALSE(labels.isShown());  // nothing loaded yet
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
