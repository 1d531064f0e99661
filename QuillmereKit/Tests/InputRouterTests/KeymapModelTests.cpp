#include <set>
#include <unordered_set>

#include <gtest/gtest.h>

#include "InputRouter/GameKeymaps.h"
#include "InputRouter/KeymapProfile.h"
#include "InputRouter/ProfileTemplates.h"

namespace qm {
namespace {

KeymapAction tapAction(Trigger trigger, double x = 0.5, double y = 0.5) {
    return KeymapAction{UUID::random(), KeymapAction::Tap{trigger, {x, y}}};
}

KeymapProfile profileFor(const std::string& package) {
    return KeymapProfile(package, Orientation::portrait, {tapAction(Trigger::key(1))});
}

TEST(KeymapProfile, NewProfilesAreVersionOneAndKeepTheirLabelSetting) {
    const KeymapProfile profile("com.example.game", Orientation::landscape, {}, false);
    EXPECT_EQ(profile.version, 1);
    EXPECT_FALSE(profile.showLabels);
    EXPECT_TRUE(KeymapProfile("p", Orientation::portrait, {}).showLabels);
}

TEST(KeymapProfile, OrientationAndStickSideNamesAreCaseSensitive) {
    EXPECT_EQ(orientationFromRawValue("landscape"), Orientation::landscape);
    EXPECT_EQ(orientationFromRawValue("portrait"), Orientation::portrait);
    EXPECT_EQ(orientationFromRawValue("Landscape"), std::nullopt);
    EXPECT_EQ(orientationFromRawValue("LANDSCAPE"), std::nullopt);
    EXPECT_EQ(stickSideFromRawValue("right"), StickSide::right);
    EXPECT_EQ(stickSideFromRawValue("Right"), std::nullopt);
    EXPECT_EQ(rawValue(StickSide::left), "left");
    EXPECT_EQ(rawValue(Orientation::portrait), "portrait");
}

TEST(Trigger, KindsNeverMatchAcrossPayloadsAndHashConsistently) {
    const Trigger key0 = Trigger::key(0);
    const Trigger mouse0 = Trigger::mouseButton(0);
    const Trigger pad0 = Trigger::gamepad(GamepadButtons());
    EXPECT_NE(key0, mouse0);
    EXPECT_NE(key0, pad0);
    EXPECT_NE(mouse0, pad0);
    EXPECT_EQ(Trigger::key(13), Trigger::key(13));
    EXPECT_EQ(Trigger::gamepad(GamepadButtons::l1).asGamepad(), GamepadButtons::l1);
    EXPECT_EQ(key0.asMouseButton(), std::nullopt);
    EXPECT_EQ(Trigger::mouseButton(2).asMouseButton(), 2);

    const std::unordered_set<Trigger> held{key0, mouse0, pad0, Trigger::key(0)};
    EXPECT_EQ(held.size(), 3u);
    EXPECT_EQ(std::hash<Trigger>{}(Trigger::key(7)), std::hash<Trigger>{}(Trigger::key(7)));
}

TEST(GameKeymaps, MigratingWrapsOneProfileUnderANewLayout) {
    const KeymapProfile profile = profileFor("com.example.p");
    const GameKeymaps first = GameKeymaps::migrating(profile, "Main");
    const GameKeymaps second = GameKeymaps::migrating(profile, "Main");
    EXPECT_EQ(first.packageName, "com.example.p");
    ASSERT_EQ(first.layouts.size(), 1u);
    EXPECT_EQ(first.layouts[0].name, "Main");
    EXPECT_EQ(first.layouts[0].switchTrigger, std::nullopt);
    EXPECT_EQ(first.layouts[0].profile, profile);
    EXPECT_NE(first.layouts[0].id, second.layouts[0].id);
}

TEST(GameKeymaps, LayoutIndexFindsTheFirstLayoutWithTheId) {
    const UUID shared = UUID::random();
    GameKeymaps keymaps{"p", {}};
    EXPECT_EQ(keymaps.layoutIndex(shared), std::nullopt);
    keymaps.layouts = {KeymapLayout{UUID::random(), "a", std::nullopt, profileFor("p")},
                       KeymapLayout{shared, "b", std::nullopt, profileFor("p")},
                       KeymapLayout{shared, "c", Trigger::key(18), profileFor("p")}};
    EXPECT_EQ(keymaps.layoutIndex(shared), 1u);
    EXPECT_EQ(keymaps.layoutIndex(UUID::random()), std::nullopt);
}

TEST(GameKeymaps, ReboundMovesEveryLayoutToThePackage) {
    EXPECT_EQ((GameKeymaps{"a", {}}).rebound("b"), (GameKeymaps{"b", {}}));

    GameKeymaps keymaps = GameKeymaps::migrating(profileFor("a"), "One");
    keymaps.layouts.push_back(
        KeymapLayout{UUID::random(), "Two", Trigger::key(19), profileFor("a")});
    const GameKeymaps moved = keymaps.rebound("b");
    EXPECT_EQ(moved.packageName, "b");
    ASSERT_EQ(moved.layouts.size(), 2u);
    for (std::size_t i = 0; i < moved.layouts.size(); ++i) {
        EXPECT_EQ(moved.layouts[i].profile.packageName, "b");
        EXPECT_EQ(moved.layouts[i].id, keymaps.layouts[i].id);
        EXPECT_EQ(moved.layouts[i].name, keymaps.layouts[i].name);
        EXPECT_EQ(moved.layouts[i].switchTrigger, keymaps.layouts[i].switchTrigger);
        EXPECT_EQ(moved.layouts[i].profile.actions, keymaps.layouts[i].profile.actions);
    }
    EXPECT_EQ(keymaps.rebound("a"), keymaps);
}

void expectTap(const KeymapAction& action, Trigger trigger, double x, double y) {
    const auto* tap = std::get_if<KeymapAction::Tap>(&action.kind);
    ASSERT_NE(tap, nullptr);
    EXPECT_EQ(tap->trigger, trigger);
    EXPECT_EQ(tap->at, (PointF{x, y}));
}

void expectWasdStick(const KeymapAction& action, double x, double y, double radius) {
    const auto* stick = std::get_if<KeymapAction::Stick>(&action.kind);
    ASSERT_NE(stick, nullptr);
    EXPECT_EQ(*stick, (KeymapAction::Stick{Trigger::key(13),
                                           Trigger::key(1),
                                           Trigger::key(0),
                                           Trigger::key(2),
                                           StickSide::left,
                                           {x, y},
                                           radius}));
}

TEST(ProfileTemplates, ShooterMatchesItsTable) {
    const KeymapProfile profile = ProfileTemplates::shooter("");
    EXPECT_EQ(profile.packageName, "");
    EXPECT_EQ(profile.version, 1);
    EXPECT_EQ(profile.orientation, Orientation::landscape);
    EXPECT_TRUE(profile.showLabels);
    ASSERT_EQ(profile.actions.size(), 8u);
    expectWasdStick(profile.actions[0], 0.15, 0.72, 0.07);
    const auto* look = std::get_if<KeymapAction::Look>(&profile.actions[1].kind);
    ASSERT_NE(look, nullptr);
    EXPECT_EQ(*look, (KeymapAction::Look{{0.75, 0.45}, {0.5, 0, 0.5, 1.0}, 1.0, StickSide::right}));
    expectTap(profile.actions[2], Trigger::mouseButton(0), 0.86, 0.62);
    expectTap(profile.actions[3], Trigger::mouseButton(1), 0.93, 0.45);
    expectTap(profile.actions[4], Trigger::key(49), 0.92, 0.80);
    expectTap(profile.actions[5], Trigger::key(8), 0.85, 0.90);
    expectTap(profile.actions[6], Trigger::key(15), 0.78, 0.80);
    expectTap(profile.actions[7], Trigger::key(5), 0.70, 0.90);
}

TEST(ProfileTemplates, MobaMatchesItsTableAndHasNoLook) {
    const KeymapProfile profile = ProfileTemplates::moba("com.example.moba");
    EXPECT_EQ(profile.packageName, "com.example.moba");
    ASSERT_EQ(profile.actions.size(), 9u);
    expectWasdStick(profile.actions[0], 0.14, 0.74, 0.08);
    expectTap(profile.actions[1], Trigger::key(49), 0.89, 0.83);
    expectTap(profile.actions[2], Trigger::key(12), 0.77, 0.90);
    expectTap(profile.actions[3], Trigger::key(14), 0.78, 0.74);
    expectTap(profile.actions[4], Trigger::key(15), 0.85, 0.64);
    expectTap(profile.actions[5], Trigger::key(3), 0.94, 0.62);
    expectTap(profile.actions[6], Trigger::key(18), 0.66, 0.91);
    expectTap(profile.actions[7], Trigger::key(19), 0.70, 0.80);
    expectTap(profile.actions[8], Trigger::key(11), 0.57, 0.92);
    for (const KeymapAction& action : profile.actions) {
        EXPECT_FALSE(std::holds_alternative<KeymapAction::Look>(action.kind));
    }
}

TEST(ProfileTemplates, EveryCallGivesEveryActionAFreshId) {
    std::set<UUID> ids;
    for (const KeymapProfile& profile :
         {ProfileTemplates::shooter("p"), ProfileTemplates::shooter("p"),
          ProfileTemplates::moba("p")}) {
        for (const KeymapAction& action : profile.actions) {
            ids.insert(action.id);
        }
    }
    EXPECT_EQ(ids.size(), 8u + 8u + 9u);
}

}  // namespace
}  // namespace qm
