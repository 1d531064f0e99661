#include <functional>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "Editor/GameKeymapsEditorModel.h"
#include "InputRouter/ProfileCodec.h"
#include "InputRouter/ProfileTemplates.h"

namespace qm {
namespace {

GameKeymapsEditorModel openOn(const std::vector<std::string>& names, std::size_t editing) {
    GameKeymaps keymaps;
    keymaps.packageName = "com.game";
    for (const std::string& name : names) {
        keymaps.layouts.push_back(
            {UUID::random(), name, std::nullopt, ProfileTemplates::shooter("com.game")});
    }
    return GameKeymapsEditorModel(keymaps, editing);
}

std::string editedName(const GameKeymapsEditorModel& editor) {
    return editor.currentLayout().name;
}

TEST(GameKeymapsEditorModel, LayoutCommandsKeepTheEditedLayout) {
    GameKeymapsEditorModel editor = openOn({"A", "B", "C", "D"}, 2);
    editor.deleteLayout(1);
    EXPECT_EQ(editor.editedIndex(), 1u);
    EXPECT_EQ(editedName(editor), "C");
    editor.deleteLayout(2);
    EXPECT_EQ(editedName(editor), "C");
    editor.makeMain(1);
    EXPECT_EQ(editor.editedIndex(), 0u);
    editor.edit(1);
    editor.deleteLayout(1);  // the edited last one: the new last one is edited
    EXPECT_EQ(editedName(editor), "C");
    editor.deleteLayout(0);  // the only one stays
    EXPECT_EQ(editor.layouts().size(), 1u);

    const std::string long41(41, 'x');
    EXPECT_EQ(editor.addLayout(" \t", false), std::nullopt);
    EXPECT_EQ(editor.addLayout("  " + long41 + "\n", true), 1u);
    EXPECT_EQ(editedName(editor), std::string(40, 'x'));
    EXPECT_FALSE(editor.rename(1, " \u200B"));
    EXPECT_TRUE(editor.rename(1, " e\u0301" + long41));
    EXPECT_EQ(editedName(editor), "e\u0301" + std::string(39, 'x'));
    // A copy has new action ids in the same places and no switch trigger.
    const auto& copied = editor.current().profile().actions;
    const auto& source = editor.layouts()[0].editor.profile().actions;
    ASSERT_EQ(copied.size(), source.size());
    EXPECT_NE(copied[0].id, source[0].id);
    EXPECT_EQ(copied[0].kind, source[0].kind);
    while (editor.canAddLayout()) {
        editor.addLayout("More", false);
    }
    EXPECT_EQ(editor.addLayout("Tenth", false), std::nullopt);
    EXPECT_EQ(editor.layouts().size(), GameKeymaps::maxLayouts);
    EXPECT_TRUE(editor.current().profile().actions.empty());
    EXPECT_TRUE(editor.current().profile().showLabels);
}

TEST(GameKeymapsEditorModel, ASwitchTriggerMovesToTheLayoutItIsSetOn) {
    GameKeymapsEditorModel editor = openOn({"A", "B", "C"}, 0);
    const Trigger key = Trigger::key(18);
    EXPECT_EQ(editor.setSwitchTrigger(key, 0), std::nullopt);
    EXPECT_EQ(editor.setSwitchTrigger(key, 2), 0u);
    EXPECT_EQ(editor.layouts()[0].switchTrigger, std::nullopt);
    EXPECT_EQ(editor.layouts()[2].switchTrigger, key);
    EXPECT_EQ(editor.setSwitchTrigger(key, 2), std::nullopt);
    EXPECT_EQ(editor.setSwitchTrigger(key, 3), std::nullopt);
}

// Whatever the views do, the keymaps stay what the codec accepts, so a save never fails on them.
TEST(GameKeymapsEditorModel, RandomEditingAlwaysGivesValidKeymaps) {
    std::mt19937 random(23);
    const auto pick = [&](auto... values) {
        const double all[] = {static_cast<double>(values)...};
        return all[std::uniform_int_distribution<std::size_t>(0, sizeof...(values) - 1)(random)];
    };
    const auto number = [&] {
        return pick(-1, 0, 1, 2, 0.999999, 1e-9, std::nan(""), INFINITY,
                    std::uniform_real_distribution<double>(-0.5, 1.5)(random));
    };
    const std::string names[] = {"  Main ", " ", "\xFF\xFE", std::string(60, 'y'),
                                 "\U0001F468\u200D\U0001F469\u200D\U0001F467 team"};
    const Trigger triggers[] = {Trigger::key(13), Trigger::mouseButton(1),
                                Trigger::gamepad(GamepadButtons::r2)};
    GameKeymapsEditorModel editor = openOn({"A"}, 0);
    std::size_t index = 0;
    Trigger trigger = triggers[0];
    std::string name;
    UUID id;
    const auto model = [&]() -> KeymapEditorModel& { return editor.current(); };
    const std::function<void()> operations[] = {
        [&] { editor.edit(index); },
        [&] { editor.addLayout(name, index % 2 == 0); },
        [&] { editor.rename(index, name); },
        [&] { editor.deleteLayout(index); },
        [&] { editor.makeMain(index); },
        [&] { editor.setSwitchTrigger(trigger, index); },
        [&] {
            model().addTap(trigger, {number(), number()});
        },
        [&] {
            model().addStick({number(), number()});
        },
        [&] { model().addLook(); },
        [&] {
            model().move(id, {number(), number()});
        },
        [&] { model().setStickRadius(id, number()); },
        [&] {
            model().setLookZone(id, {number(), number(), number(), number()});
        },
        [&] { model().setSensitivity(id, number() * 30); },
        [&] { model().assign(trigger, id, static_cast<TriggerSlot>(index % 5)); },
        [&] { model().remove(id); },
        [&] { model().undo(); },
        [&] { model().applyTemplate(ProfileTemplates::moba("com.other")); },
    };
    for (int step = 0; step < 1500; ++step) {
        index = static_cast<std::size_t>(pick(0, 1, 2, 8, 9));
        trigger = triggers[step % 3];
        name = names[step % 5];
        const auto& actions = model().profile().actions;
        id = actions.empty() ? UUID::random() : actions[step % actions.size()].id;
        operations[std::uniform_int_distribution<std::size_t>(0,
                                                              std::size(operations) - 1)(random)]();
        ASSERT_NO_THROW(ProfileCodec::encode(editor.keymaps())) << "step " << step;
    }
}

}  // namespace
}  // namespace qm
