#include <cmath>
#include <limits>

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include "InputRouter/Gamepad.h"
#include "InputRouter/InputEvent.h"
#include "InputRouter/MacKeyCode.h"
#include "InputRouter/TouchMessages.h"

namespace qm {
namespace {

TEST(InputMode, RawValuesStartAtOneAndAreStoredAsBareNumbers) {
    EXPECT_EQ(fromRawValue<InputMode>(0), std::nullopt);
    EXPECT_EQ(fromRawValue<InputMode>(5), std::nullopt);
    EXPECT_EQ(fromRawValue<InputMode>(4), InputMode::keymap);
    EXPECT_EQ(rawValue(InputMode::keyboardMouse), 3);
    EXPECT_EQ(nlohmann::json(InputMode::macGamepad).dump(), "2");
    EXPECT_EQ(nlohmann::json::parse("1").get<InputMode>(), InputMode::phoneGamepad);
    for (const char* bad : {"0", "5", "-1", "4294967299", "2.0", "\"2\"", "null"}) {
        EXPECT_THROW(nlohmann::json::parse(bad).get<InputMode>(), nlohmann::json::exception) << bad;
    }
    ASSERT_EQ(allInputModes.size(), 4u);
    EXPECT_EQ(allInputModes.front(), InputMode::phoneGamepad);
    EXPECT_EQ(allInputModes.back(), InputMode::keymap);
}

TEST(KeyModifiers, SetAlgebra) {
    EXPECT_EQ((KeyModifiers{KeyModifiers::shift, KeyModifiers::command}).rawValue, 9);
    EXPECT_EQ(KeyModifiers{}.rawValue, 0);
    KeyModifiers mods{KeyModifiers::control};
    mods.insert(KeyModifiers::capsLock);
    EXPECT_TRUE(mods.contains(KeyModifiers::capsLock));
    EXPECT_FALSE(mods.contains(KeyModifiers::control | KeyModifiers::option));
    mods.remove(KeyModifiers::control);
    EXPECT_EQ(mods, KeyModifiers::capsLock);
    EXPECT_TRUE(KeyModifiers::shift.isSubset(KeyModifiers::shift | KeyModifiers::option));
    EXPECT_TRUE(KeyModifiers::shift.isDisjoint(KeyModifiers::option));
    EXPECT_EQ((KeyModifiers::shift | KeyModifiers::option) - KeyModifiers::shift,
              KeyModifiers::option);
}

TEST(MacKeyCode, OptionKeysAreExactlyLeftAndRightOption) {
    EXPECT_TRUE(MacKeyCode::isOption(58));
    EXPECT_TRUE(MacKeyCode::isOption(61));
    EXPECT_FALSE(MacKeyCode::isOption(59));  // Control
    EXPECT_FALSE(MacKeyCode::isOption(55));  // Command
    EXPECT_EQ(MacKeyCode::options.size(), 2u);
}

TEST(TouchMessages, PressureFollowsTheActionAndButtonsStayZero) {
    const DevicePosition p{10, 20, 100, 200};
    const InjectTouch up = message::touch(MotionAction::up, 3, p);
    const InjectTouch move = message::touch(MotionAction::move, 3, p);
    EXPECT_EQ(up, (InjectTouch{MotionAction::up, 3, p, 0.0f, 0, 0}));
    EXPECT_EQ(move, (InjectTouch{MotionAction::move, 3, p, 1.0f, 0, 0}));
    EXPECT_EQ(message::touch(MotionAction::down, 1, p).pressure, 1.0f);
    EXPECT_EQ(message::key(KeyAction::up, 29, 2, 0x41),
              (InjectKeycode{KeyAction::up, 29, 2, 0x41}));
}

TEST(GamepadButtons, NamesRoundTripAndAreExact) {
    EXPECT_EQ(GamepadButtons::fromName("dpadRight"), GamepadButtons(0x8000));
    EXPECT_EQ(GamepadButtons::fromName("DpadRight"), std::nullopt);
    EXPECT_EQ(GamepadButtons::fromName("select"), std::nullopt);
    EXPECT_EQ(GamepadButtons::fromName(""), std::nullopt);
    EXPECT_EQ(GamepadButtons::l2.name(), "l2");
    EXPECT_EQ((GamepadButtons{GamepadButtons::south, GamepadButtons::east}).name(), std::nullopt);
    EXPECT_EQ(GamepadButtons().name(), std::nullopt);

    const auto names = GamepadButtons::names();
    ASSERT_EQ(names.size(), 18u);
    std::uint32_t all = 0;
    for (const GamepadButtonName& entry : names) {
        EXPECT_EQ(GamepadButtons::fromName(entry.name), entry.button) << entry.name;
        EXPECT_EQ(entry.button.name(), entry.name);
        EXPECT_EQ(all & entry.button.rawValue, 0u) << entry.name << " shares a bit";
        all |= entry.button.rawValue;
    }
    EXPECT_EQ(all, 0x3FFFFu);
    EXPECT_EQ(names[6].name, "l2");
    EXPECT_EQ(names[6].button.rawValue, 0x10000u);
}

TEST(GamepadButtons, CodedAsTheBareRawValue) {
    const GamepadButtons buttons{GamepadButtons::south, GamepadButtons::r2};
    EXPECT_EQ(nlohmann::json(buttons).dump(), "131073");
    EXPECT_EQ(nlohmann::json::parse("131073").get<GamepadButtons>(), buttons);
    EXPECT_EQ(nlohmann::json(131073).get<GamepadButtons>(), buttons);
    for (const char* bad : {"-1", "4294967296", "1.5", "\"south\""}) {
        EXPECT_THROW(nlohmann::json::parse(bad).get<GamepadButtons>(), nlohmann::json::exception)
            << bad;
    }
}

TEST(GamepadState, EqualityIsPlainFloatingPoint) {
    EXPECT_EQ(GamepadState::neutral, (GamepadState{{0, 0}, {0, 0}, 0, 0, GamepadButtons()}));
    GamepadState negativeZero;
    negativeZero.leftStick.x = -0.0;
    EXPECT_EQ(negativeZero, GamepadState::neutral);
    GamepadState withNaN;
    withNaN.rightTrigger = std::numeric_limits<double>::quiet_NaN();
    EXPECT_NE(withNaN, withNaN);
    EXPECT_NE(withNaN, GamepadState::neutral);
}

}  // namespace
}  // namespace qm
