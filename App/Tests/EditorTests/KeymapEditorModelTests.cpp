#include <cmath>
#include <limits>
#include <optional>
#include <variant>

#include <gtest/gtest.h>

#include "Editor/KeymapEditorModel.h"
#include "InputRouter/ProfileTemplates.h"

namespace qm {
namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double infinity = std::numeric_limits<double>::infinity();

KeymapEditorModel emptyModel() {
    return KeymapEditorModel(KeymapProfile("com.game", Orientation::landscape, {}));
}

const KeymapAction::Look& look(const KeymapEditorModel& model, const UUID& id) {
    return std::get<KeymapAction::Look>(model.action(id)->kind);
}

TEST(KeymapEditorModel, KeepsFiftyUndoStepsAndOnlyForRealChanges) {
    KeymapEditorModel model = emptyModel();
    const UUID tap = *model.addTap(Trigger::key(0), {0, 0});
    std::optional<KeymapProfile> afterTenth;
    for (int edit = 1; edit <= 60; ++edit) {
        model.move(tap, {edit / 100.0, 0.5});
        // Nothing changes: its own place again, values that are not numbers, a wrong kind.
        model.move(tap, {edit / 100.0, 0.5});
        model.move(tap, {nan, 0.5});
        model.setStickRadius(tap, 0.3);
        model.setSensitivity(tap, 2);
        model.assign(Trigger::key(1), tap, TriggerSlot::up);
        if (edit == 10) {
            afterTenth = model.profile();
        }
    }
    for (int undo = 0; undo < 50; ++undo) {
        ASSERT_TRUE(model.canUndo());
        model.undo();
    }
    EXPECT_FALSE(model.canUndo());
    EXPECT_EQ(model.profile(), afterTenth);
    EXPECT_TRUE(model.isDirty());
}

TEST(KeymapEditorModel, KeepsEveryValueInRange) {
    KeymapEditorModel model = emptyModel();
    const UUID tap = *model.addTap(Trigger::key(0), {-3, 2});
    EXPECT_EQ(std::get<KeymapAction::Tap>(model.action(tap)->kind).at, (PointF{0, 1}));
    const UUID stick = *model.addStick({nan, 0.7});
    model.setStickRadius(stick, 0.001);
    EXPECT_EQ(std::get<KeymapAction::Stick>(model.action(stick)->kind).radius, 0.02);
    model.setStickRadius(stick, infinity);
    EXPECT_EQ(std::get<KeymapAction::Stick>(model.action(stick)->kind).center, (PointF{0.5, 0.7}));

    const UUID zone = *model.addLook();
    EXPECT_EQ(model.addLook(), std::nullopt);
    model.setSensitivity(zone, 25);
    EXPECT_EQ(look(model, zone).sensitivity, 20.0);
    const double narrowRight = 0.25 + KeymapEditorModel::minZoneSide;
    const struct {
        RectF given;
        RectF zone;
        PointF center;  // pulled onto the nearest edge
    } zones[] = {
        {{0.5, 0.125, -0.25, 0.25}, {0.25, 0.125, 0.25, 0.25}, {0.5, 0.375}},
        {{0.25, 0, 0.01, 0.5},
         {0.25, 0, KeymapEditorModel::minZoneSide, 0.5},
         {narrowRight, 0.375}},
        {{0.75, 0, 3, 1}, {0, 0, 1, 1}, {narrowRight, 0.375}},
    };
    for (const auto& each : zones) {
        model.setLookZone(zone, each.given);
        EXPECT_EQ(look(model, zone).zone, each.zone);
        EXPECT_EQ(look(model, zone).center, each.center);
    }
    // A zone as wide as the frame moves only up and down, its centre with it.
    model.setLookZone(zone, {0, 0, 1, 0.5});
    model.move(zone, {0.75, 0.5});
    EXPECT_EQ(look(model, zone).zone, (RectF{0, 0.125, 1, 0.5}));
    EXPECT_EQ(look(model, zone).center, (PointF{narrowRight, 0.5}));
    model.setLookZone(zone, {0.5, 0, 0.5, 1});
    const KeymapProfile atEdge = model.profile();
    model.move(zone, {look(model, zone).center.x + 0.25, look(model, zone).center.y});
    EXPECT_EQ(model.profile(), atEdge);
    model.setLookZone(zone, {nan, 0, 0.5, 0.5});
    EXPECT_EQ(model.profile(), atEdge);
}

TEST(KeymapEditorModel, SelectionFollowsTheActions) {
    KeymapEditorModel model = emptyModel();
    const UUID stick = *model.addStick({0.2, 0.7});
    const UUID tap = *model.addTap(Trigger::key(0), {0.5, 0.5});
    model.remove(stick);
    EXPECT_EQ(model.selection(), tap);
    model.remove(tap);
    EXPECT_EQ(model.selection(), std::nullopt);
    model.undo();
    EXPECT_NE(model.action(tap), nullptr);
    EXPECT_EQ(model.selection(), std::nullopt);

    model.setSelection(tap);
    const KeymapProfile shooter = ProfileTemplates::shooter("com.other");
    model.applyTemplate(shooter);
    EXPECT_EQ(model.profile().packageName, "com.game");
    EXPECT_EQ(model.profile().actions, shooter.actions);
    EXPECT_EQ(model.selection(), std::nullopt);
    model.setSelection(shooter.actions[0].id);
    const KeymapProfile applied = model.profile();
    model.applyTemplate(shooter);
    EXPECT_EQ(model.selection(), std::nullopt);
    model.undo();
    EXPECT_NE(model.profile(), applied);
}

TEST(KeymapEditorModel, CaptureTakesPressesAndEscOnly) {
    using Result = std::optional<KeymapEditorModel::CaptureResult>;
    const auto pressed = [](Trigger trigger) {
        return Result(KeymapEditorModel::CaptureResult{trigger});
    };
    const Result cancel = KeymapEditorModel::CaptureResult::cancel();
    GamepadState pad;
    pad.buttons = GamepadButtons::east | GamepadButtons::south;
    const std::pair<InputEvent, Result> cases[] = {
        {KeyDownEvent{53, {}, true}, cancel},
        {KeyDownEvent{13, {}, true}, std::nullopt},
        {KeyDownEvent{13, KeyModifiers::command, false}, pressed(Trigger::key(13))},
        {KeyDownEvent{58, KeyModifiers::option, false}, std::nullopt},
        {KeyDownEvent{61, {}, false}, std::nullopt},
        {KeyDownEvent{36, {}, false}, pressed(Trigger::key(36))},
        {KeyUpEvent{13, {}}, std::nullopt},
        {MouseButtonEvent{1, true, {}}, pressed(Trigger::mouseButton(1))},
        {MouseButtonEvent{1, false, {}}, std::nullopt},
        {MouseButtonEvent{3, true, {}}, std::nullopt},
        {MouseButtonEvent{-1, true, {}}, std::nullopt},
        {MouseDeltaEvent{3, 4}, std::nullopt},
        {ScrollEvent{0, 1, {}}, std::nullopt},
        {GamepadEvent{pad}, pressed(Trigger::gamepad(GamepadButtons::south))},
        {GamepadEvent{GamepadState::neutral}, std::nullopt},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(KeymapEditorModel::captureResult(cases[i].first), cases[i].second) << i;
    }
}

}  // namespace
}  // namespace qm
