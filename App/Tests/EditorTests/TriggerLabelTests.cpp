#include <gtest/gtest.h>

#include "Editor/TriggerLabel.h"

namespace qm {
namespace {

TEST(TriggerLabel, NamesKeysButtonsAndPadButtons) {
    const std::pair<Trigger, QString> cases[] = {
        {Trigger::key(49), "Space"},
        {Trigger::key(0), "A"},
        {Trigger::key(25), "9"},
        {Trigger::key(59), "Ctrl"},
        {Trigger::key(62), "RCtrl"},
        {Trigger::key(42), "\\"},
        {Trigger::key(111), "F12"},
        {Trigger::key(55), "0x37"},  // Command
        {Trigger::key(58), "0x3A"},  // Option
        {Trigger::key(10), "0x0A"},
        {Trigger::key(105), "0x69"},
        {Trigger::key(300), "0x12C"},
        {Trigger::mouseButton(0), "LMB"},
        {Trigger::mouseButton(2), "MMB"},
        {Trigger::mouseButton(3), "M3"},
        {Trigger::gamepad(GamepadButtons::south), "A"},
        {Trigger::gamepad(GamepadButtons::touchpad), "Pad"},
        {Trigger::gamepad(GamepadButtons::l2), "L2"},
        {Trigger::gamepad(GamepadButtons::dpadLeft), "D←"},
        {Trigger::gamepad(GamepadButtons::south | GamepadButtons::east), "?"},
        {Trigger::gamepad(GamepadButtons()), "?"},
    };
    for (const auto& [trigger, label] : cases) {
        EXPECT_EQ(TriggerLabel::text(trigger), label) << label.toStdString();
    }
}

}  // namespace
}  // namespace qm
