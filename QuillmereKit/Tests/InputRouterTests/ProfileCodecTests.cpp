#include <functional>
#include <string>
#include <utility>
#include <variant>

#include <nlohmann/json.hpp>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "InputRouter/JsonNode.h"
#include "InputRouter/ProfileCodec.h"
#include "InputRouter/ProfileTemplates.h"
#include "Support/Expect.h"

namespace qm {

// A failed comparison shows the messages.
void PrintTo(const ProfileError& error, std::ostream* out) {
    *out << error.message();
}

namespace {

using Json = nlohmann::json;

UUID id(int n) {
    return *UUID::parse("00000000-0000-4000-8000-" +
                        std::string(12 - std::to_string(n).size(), '0') + std::to_string(n));
}

// A stick, a look zone and a tap, in this order.
KeymapProfile sampleProfile(int firstId = 1) {
    return KeymapProfile(
        "com.example.game", Orientation::landscape,
        {{id(firstId), KeymapAction::Stick{Trigger::key(13),
                                           Trigger::key(1),
                                           Trigger::key(0),
                                           Trigger::key(2),
                                           StickSide::left,
                                           {0.15, 0.72},
                                           0.07}},
         {id(firstId + 1),
          KeymapAction::Look{{0.75, 0.5}, {0.5, 0, 0.5, 1}, 1.5, StickSide::right}},
         {id(firstId + 2), KeymapAction::Tap{Trigger::mouseButton(0), {0.85, 0.7}}}});
}

KeymapAction::Stick& stick(KeymapProfile& profile) {
    return std::get<KeymapAction::Stick>(profile.actions[0].kind);
}
KeymapAction::Look& look(KeymapProfile& profile) {
    return std::get<KeymapAction::Look>(profile.actions[1].kind);
}
KeymapAction::Tap& tap(KeymapProfile& profile) {
    return std::get<KeymapAction::Tap>(profile.actions[2].kind);
}

KeymapLayout sampleLayout(int k) {
    std::optional<Trigger> switchTrigger;
    if (k > 0) {
        switchTrigger = Trigger::key(std::uint16_t(17 + k));
    }
    return {id(100 + k), "Layout " + std::to_string(k), switchTrigger, sampleProfile(10 * k + 10)};
}

GameKeymaps sampleKeymaps(int layoutCount = 3) {
    GameKeymaps keymaps{"com.example.game", {}};
    for (int k = 0; k < layoutCount; ++k) {
        keymaps.layouts.push_back(sampleLayout(k));
    }
    return keymaps;
}

Json tree(const Bytes& document) {
    return Json::parse(asText(document));
}

ProfileError decodeError(const std::string& document) {
    return test::thrown<ProfileError>([&] { ProfileCodec::decode(asBytes(document)); });
}

ProfileError keymapsError(const std::string& document) {
    return test::thrown<ProfileError>(
        [&] { ProfileCodec::decodeKeymaps(asBytes(document), "Main"); });
}

TEST(ProfileCodec, ProfileValuesAreRefusedAtTheirFirstBrokenRule) {
    const std::pair<std::function<void(KeymapProfile&)>, std::string> cases[] = {
        {[](auto& p) { stick(p).radius = 0; }, "actions[0].radius = 0.0 is outside (0, 0.5]"},
        {[](auto& p) { stick(p).radius = 0.51; }, "actions[0].radius = 0.51 is outside (0, 0.5]"},
        {[](auto& p) { stick(p).radius = NAN; }, "actions[0].radius = nan is outside (0, 0.5]"},
        {[](auto& p) { stick(p).radius = 0.5; }, ""},
        {[](auto& p) { stick(p).left = Trigger::mouseButton(5); },
         "actions[0].left.mouse = 5 is not 0, 1 or 2"},
        {[](auto& p) { stick(p).center.y = INFINITY; }, "actions[0].center.y = inf is outside 0…1"},
        {[](auto& p) { look(p).sensitivity = 20.5; },
         "actions[1].sensitivity = 20.5 is outside (0, 20.0]"},
        {[](auto& p) { look(p).sensitivity = 0; },
         "actions[1].sensitivity = 0.0 is outside (0, 20.0]"},
        {[](auto& p) { look(p).sensitivity = 20; }, ""},
        {[](auto& p) { look(p).zone.width = 0; }, "actions[1].zone is empty"},
        {[](auto& p) {
             look(p).zone = {0.75, 0, 0.5, 1};
         },
         "actions[1].zone.x + width = 1.25 is outside 0…1"},
        {[](auto& p) { look(p).zone.y = -1e-5; }, "actions[1].zone.y = -1e-05 is outside 0…1"},
        {[](auto& p) {
             look(p).center = {0.5, 1};
         },
         ""},
        {[](auto& p) { look(p).center.x = 0.4; }, "actions[1].center is outside actions[1].zone"},
        {[](auto& p) { tap(p).at.x = 1.0; }, ""},
        {[](auto& p) { tap(p).at.x = -0.0; }, ""},
        {[](auto& p) { tap(p).at.x = 1.5; }, "actions[2].at.x = 1.5 is outside 0…1"},
        {[](auto& p) { tap(p).trigger = Trigger::mouseButton(3); },
         "actions[2].trigger.mouse = 3 is not 0, 1 or 2"},
        {[](auto& p) { tap(p).trigger = Trigger::mouseButton(-1); },
         "actions[2].trigger.mouse = -1 is not 0, 1 or 2"},
        {[](auto& p) {
             tap(p).trigger = Trigger::gamepad(GamepadButtons::l1 | GamepadButtons::r1);
         },
         "actions[2].trigger.gamepad is not a single button"},
        {[](auto& p) { tap(p).trigger = Trigger::gamepad({}); },
         "actions[2].trigger.gamepad is not a single button"},
        {[](auto& p) { p.actions[2].id = p.actions[0].id; }, "actions[2].id is duplicated"},
        {[](auto& p) { p.packageName.clear(); }, "packageName is empty"},
        {[](auto& p) { p.packageName = std::string(1, ' '); }, ""},
        // Only memory holds such text; the JSON writer would refuse it.
        {[](auto& p) { p.packageName = "com.\xFF"; }, "packageName is not valid UTF-8"},
    };
    for (const auto& [change, message] : cases) {
        SCOPED_TRACE(message);
        KeymapProfile profile = sampleProfile();
        change(profile);
        if (message.empty()) {
            EXPECT_EQ(ProfileCodec::decode(ProfileCodec::encode(profile)), profile);
        } else {
            EXPECT_EQ(test::thrown<ProfileError>([&] { ProfileCodec::encode(profile); }),
                      ProfileError::invalidValue(message));
        }
    }
    KeymapProfile newer = sampleProfile();
    newer.version = 2;
    EXPECT_EQ(test::thrown<ProfileError>([&] { ProfileCodec::validate(newer); }).version(), 2);
}

TEST(ProfileCodec, KeymapsValuesAreRefusedAtTheirFirstBrokenRule) {
    const std::string flags40 = [] {
        std::string name;
        for (int i = 0; i < 40; ++i) {
            name += "\U0001F1E9\U0001F1EA";
        }
        return name;
    }();
    const std::pair<std::function<void(GameKeymaps&)>, std::string> cases[] = {
        {[](auto& k) { k = sampleKeymaps(10); }, "layouts has 10 entries, at most 9"},
        {[](auto& k) { k = sampleKeymaps(9); }, ""},
        {[](auto& k) { k.layouts.clear(); }, "layouts is empty"},
        {[](auto& k) {
             k.layouts.clear();
             k.packageName.clear();
         },
         "packageName is empty"},
        {[](auto& k) { k.layouts[1].id = k.layouts[0].id; }, "layouts[1].id is duplicated"},
        {[](auto& k) { k.layouts[0].name = " \n\u3000"; }, "layouts[0].name is empty"},
        {[](auto& k) { k.layouts[0].name = std::string(41, 'a'); },
         "layouts[0].name is longer than 40 characters"},
        {[](auto& k) { k.layouts[0].name = std::string(40, 'a'); }, ""},
        {[&](auto& k) { k.layouts[0].name = flags40; }, ""},
        {[&](auto& k) { k.layouts[0].name = flags40 + "e\u0301"; },
         "layouts[0].name is longer than 40 characters"},
        {[](auto& k) {
             k.layouts[0].name = "e";
             for (int i = 0; i < 200; ++i) {
                 k.layouts[0].name += "\u0301";
             }
         },
         "layouts[0].name is longer than 400 bytes"},
        {[](auto& k) { k.layouts[0].name = "\xC0\xAF"; }, "layouts[0].name is not valid UTF-8"},
        {[](auto& k) { k.layouts[0].profile.packageName = "com.other"; },
         "layouts[0] belongs to \"com.other\""},
        {[](auto& k) { k.layouts[1].name = "zw\u200Bsp"; },
         "layouts[1].name holds a control, invisible or reordering character (U+200B)"},
        {[](auto& k) { k.layouts[1].name = "\U0001F468\u200D\U0001F469\u200D\U0001F467"; }, ""},
        {[](auto& k) { tap(k.layouts[1].profile).at.x = 1.5; },
         "layouts[1].actions[2].at.x = 1.5 is outside 0…1"},
        {[](auto& k) { k.layouts[0].profile.actions[1].id = k.layouts[0].profile.actions[0].id; },
         "layouts[0].actions[1].id is duplicated"},
        {[](auto& k) { k.layouts[1].profile.actions[2].id = k.layouts[0].profile.actions[0].id; },
         "layouts[1].actions[2].id is duplicated"},
        {[](auto& k) { k.layouts[2].switchTrigger = k.layouts[1].switchTrigger; },
         "layouts[2].switchTrigger is duplicated"},
        {[](auto& k) { k.layouts[0].switchTrigger = Trigger::mouseButton(0); }, ""},
        {[](auto& k) { k.layouts[0].switchTrigger = Trigger::mouseButton(7); },
         "layouts[0].switchTrigger.mouse = 7 is not 0, 1 or 2"},
    };
    for (const auto& [change, message] : cases) {
        SCOPED_TRACE(message);
        GameKeymaps keymaps = sampleKeymaps();
        change(keymaps);
        if (message.empty()) {
            EXPECT_EQ(ProfileCodec::decodeKeymaps(ProfileCodec::encode(keymaps), "Main"), keymaps);
        } else {
            EXPECT_EQ(test::thrown<ProfileError>([&] { ProfileCodec::encode(keymaps); }),
                      ProfileError::invalidValue(message));
        }
    }
    GameKeymaps newer = sampleKeymaps();
    newer.layouts[1].profile.version = 3;
    EXPECT_EQ(test::thrown<ProfileError>([&] { ProfileCodec::validate(newer); }),
              ProfileError::unsupportedVersion(3));
}

TEST(ProfileCodec, DocumentsOfTheWrongShapeNameTheFirstBadMember) {
    const Json profile = tree(ProfileCodec::encode(sampleProfile()));
    const Json keymaps = tree(ProfileCodec::encode(sampleKeymaps()));
    const auto malformed = ProfileError::malformed;
    struct Case {
        const Json& document;
        std::function<void(Json&)> change;
        ProfileError expected;
    };
    const Case cases[] = {
        {profile, [](Json& d) { d.erase("version"); }, malformed("missing version")},
        {profile, [](Json& d) { d["version"] = "1"; },
         malformed("version: expected an integer, found a string")},
        {profile, [](Json& d) { d["version"] = 3; }, ProfileError::unsupportedVersion(3)},
        {profile,
         [](Json& d) {
             d["PackageName"] = d["packageName"];
             d.erase("packageName");
         },
         malformed("missing packageName")},
        {profile, [](Json& d) { d["packageName"] = nullptr; },
         malformed("packageName: expected a string, found null")},
        {profile, [](Json& d) { d["orientation"] = "sideways"; },
         malformed("orientation: unknown orientation \"sideways\"")},
        // A value is quoted short, on one line, and cannot reorder the message around it.
        {profile, [](Json& d) { d["orientation"] = std::string(1 << 20, 'a'); },
         malformed("orientation: unknown orientation \"" + std::string(40, 'a') + "\u2026\"")},
        {profile, [](Json& d) { d["orientation"] = "x\r\nLayouts imported: 3 of 3\u202E"; },
         malformed("orientation: unknown orientation \"x\\r\\nLayouts imported: 3 of 3\\u202E\"")},
        {keymaps, [](Json& d) { d["layouts"][0]["orientation"] = "\u05E9\u05DC\u05D5\u05DD 1"; },
         malformed("layouts[0].orientation: unknown orientation \"\u2068\u05E9\u05DC\u05D5\u05DD "
                   "1\u2069\"")},
        {profile, [](Json& d) { d["actions"][0] = 5; },
         malformed("actions[0]: expected an object, found 5")},
        {profile, [](Json& d) { d["actions"][0]["id"] = "nope"; },
         malformed("actions[0].id: \"nope\" is not a UUID")},
        {profile, [](Json& d) { d["actions"][0]["gamepadStick"] = "up"; },
         malformed("actions[0].gamepadStick: unknown stick side \"up\"")},
        {profile, [](Json& d) { d["actions"][1]["zone"].erase("height"); },
         malformed("missing actions[1].zone.height")},
        {profile, [](Json& d) { d["actions"][2]["type"] = "jump"; },
         malformed("actions[2].type: unknown action type \"jump\"")},
        {profile, [](Json& d) { d["actions"][2]["trigger"]["key"] = 1; },
         malformed("actions[2].trigger: trigger must have exactly one of key, mouse, gamepad")},
        {profile,
         [](Json& d) {
             d["actions"][2]["trigger"] = {{"button", 1}};
         },
         malformed("actions[2].trigger: trigger must have exactly one of key, mouse, gamepad")},
        {profile,
         [](Json& d) {
             d["actions"][2]["trigger"] = {{"gamepad", "South"}};
         },
         malformed("actions[2].trigger.gamepad: unknown gamepad button \"South\"")},
        {profile,
         [](Json& d) {
             d["actions"][2]["trigger"] = {{"key", 70000}};
         },
         malformed("actions[2].trigger.key: 70000 does not fit in an unsigned 16-bit integer")},
        {profile,
         [](Json& d) {
             d["actions"][2]["trigger"] = {{"key", -1}};
         },
         malformed("actions[2].trigger.key: -1 does not fit in an unsigned 16-bit integer")},
        {profile,
         [](Json& d) {
             d["actions"][2]["trigger"] = {{"mouse", 1.5}};
         },
         malformed("actions[2].trigger.mouse: expected an integer, found 1.5")},
        {profile,
         [](Json& d) {
             d["actions"][2]["trigger"] = {{"mouse", 1ull << 63}};
         },
         malformed("actions[2].trigger.mouse: 9223372036854775808 does not fit in a 64-bit "
                   "integer")},
        {profile, [](Json& d) { d["actions"][0]["radius"] = 0; },
         ProfileError::invalidValue("actions[0].radius = 0.0 is outside (0, 0.5]")},
        {keymaps, [](Json& d) { d["layouts"][2]["actions"][0].erase("radius"); },
         malformed("missing layouts[2].actions[0].radius")},
        {keymaps, [](Json& d) { d["layouts"][1]["actions"][2]["type"] = "jump"; },
         malformed("layouts[1].actions[2].type: unknown action type \"jump\"")},
        {keymaps, [](Json& d) { d["layouts"][0]["switchTrigger"] = Json::object(); },
         malformed("layouts[0].switchTrigger: trigger must have exactly one of key, mouse, "
                   "gamepad")},
        {keymaps, [](Json& d) { d["version"] = 3; }, ProfileError::unsupportedVersion(3)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected.message());
        Json document = c.document;
        c.change(document);
        const std::string text = document.dump();
        // Format 1 is read through decodeKeymaps too, with the profile's own paths.
        EXPECT_EQ(keymapsError(text), c.expected);
        if (&c.document == &profile) {
            EXPECT_EQ(decodeError(text), c.expected);
        }
    }
    // The version is read first, so nothing else is looked at.
    Json noLayouts = keymaps;
    noLayouts.erase("layouts");
    EXPECT_EQ(decodeError(noLayouts.dump()), ProfileError::unsupportedVersion(2));
}

TEST(ProfileCodec, BytesThatAreNotAReadableDocumentFailWithoutAValue) {
    const Bytes encoded = ProfileCodec::encode(sampleProfile());
    const auto replaced = [&](std::string_view from, const std::string& to) {
        std::string text(asText(encoded));
        return text.replace(text.find(from), from.size(), to);
    };
    std::string deepPath = "extra";
    for (int i = 0; i < 63; ++i) {
        deepPath += "[0]";
    }
    // The parser stops at a NUL as at the end of its text.
    const std::string oneLine = Json::parse(asText(encoded)).dump();
    const std::string afterDocument =
        ": syntax error while parsing value - invalid literal; last read: '<U+0000>'; expected "
        "end of input";
    // With the array around them, one value short of the limit.
    std::string values = "[";
    for (std::size_t i = 0; i < JsonNode::maxValues - 2; ++i) {
        values += "{},";
    }
    const std::pair<std::string, std::string> cases[] = {
        {"[1]", "expected an object, found an array"},
        {replaced("0.07", "1e999"), "actions[0].radius: number out of range"},
        {replaced("0.85", "1" + std::string(10000, '0')), "actions[2].at.x: number out of range"},
        // Refused while parsing, before a tree of that depth exists.
        {replaced("{", "{\"extra\": " + std::string(100000, '[') + std::string(100000, ']') + ","),
         deepPath + ": nested more than 64 levels deep"},
        // Exactly the limit parses; one more is refused before a tree of that size exists.
        {values + "{}]", "expected an object, found an array"},
        {values + "{},{}]", "more than 200000 values"},
        {oneLine + std::string("\0{}", 3),
         "parse error at line 1, column " + std::to_string(oneLine.size() + 1) + afterDocument},
        {std::string("{\n}\n\0", 5), "parse error at line 3, column 1" + afterDocument},
        // A member's name from the file is quoted as a value is.
        {replaced("{", "{\"" + std::string(1 << 20, 'k') + "\": " + std::string(65, '[')),
         "\"" + std::string(40, 'k') + "\u2026\"" + deepPath.substr(5) +
             ": nested more than 64 levels deep"},
        // So is the token the parser stopped in.
        {"{\"a\": \"" + std::string(1 << 20, 'a') + "\x01\"}",
         "parse error at line 1, column 1048584: syntax error while parsing value - invalid "
         "string: control character U+0001 (SOH) must be escaped to \\u0001; last read: '\"" +
             std::string(39, 'a') + "\u2026'"},
    };
    for (const auto& [document, message] : cases) {
        SCOPED_TRACE(message);
        EXPECT_EQ(decodeError(document), ProfileError::malformed(message));
    }
    for (const std::string document :
         {"", "not json", "{\"version\": NaN}", "{\"version\": 1} {}", "{\"version\": 1"}) {
        const ProfileError error = keymapsError(document);
        EXPECT_EQ(error.kind(), ProfileErrorKind::malformed) << document;
        EXPECT_THAT(error.message(), ::testing::StartsWith("parse error")) << document;
    }
}

// The documented example: one layout with a tap on the space bar and a look zone over the right
// half of the picture.
GameKeymaps exampleKeymaps() {
    return {
        "com.example.game",
        {{id(100), "Main", Trigger::gamepad(GamepadButtons::l3),
          KeymapProfile("com.example.game", Orientation::landscape,
                        {{id(1), KeymapAction::Tap{Trigger::key(49), {0.85, 0.7}}},
                         {id(2), KeymapAction::Look{
                                     {0.75, 0.5}, {0.5, 0, 0.5, 1}, 1.5, StickSide::right}}})}}};
}

constexpr std::string_view exampleDocument = R"({
  "layouts": [
    {
      "actions": [
        {
          "at": {
            "x": 0.85,
            "y": 0.7
          },
          "id": "00000000-0000-4000-8000-000000000001",
          "trigger": {
            "key": 49
          },
          "type": "tap"
        },
        {
          "center": {
            "x": 0.75,
            "y": 0.5
          },
          "gamepadStick": "right",
          "id": "00000000-0000-4000-8000-000000000002",
          "sensitivity": 1.5,
          "type": "look",
          "zone": {
            "height": 1.0,
            "width": 0.5,
            "x": 0.5,
            "y": 0.0
          }
        }
      ],
      "id": "00000000-0000-4000-8000-000000000100",
      "name": "Main",
      "orientation": "landscape",
      "showLabels": true,
      "switchTrigger": {
        "gamepad": "l3"
      }
    }
  ],
  "packageName": "com.example.game",
  "version": 2
})";

TEST(ProfileCodec, WrittenDocumentsReadBackEqualAndRewriteToTheSameBytes) {
    EXPECT_EQ(asText(ProfileCodec::encode(exampleKeymaps())), exampleDocument);
    for (const KeymapProfile& profile :
         {ProfileTemplates::shooter("com.example.shooter"),
          ProfileTemplates::moba("com.example.moba"), exampleKeymaps().layouts[0].profile}) {
        SCOPED_TRACE(profile.packageName);
        const Bytes single = ProfileCodec::encode(profile);
        const KeymapProfile read = ProfileCodec::decode(single);
        EXPECT_EQ(read, profile);
        EXPECT_EQ(ProfileCodec::encode(read), single);

        GameKeymaps keymaps = GameKeymaps::migrating(profile, "Main");
        keymaps.layouts[0].switchTrigger = Trigger::key(18);
        keymaps.layouts[0].profile.showLabels = false;
        const Bytes all = ProfileCodec::encode(keymaps);
        const GameKeymaps readKeymaps = ProfileCodec::decodeKeymaps(all, "Other");
        EXPECT_EQ(readKeymaps, keymaps);
        EXPECT_EQ(ProfileCodec::encode(readKeymaps), all);
    }
}

TEST(ProfileCodec, FormatOneReadsAsOneLayoutUnderTheCallersName) {
    const KeymapProfile profile = sampleProfile();
    const Bytes document = ProfileCodec::encode(profile);
    const GameKeymaps first = ProfileCodec::decodeKeymaps(document, "Main");
    EXPECT_EQ(first.packageName, profile.packageName);
    ASSERT_EQ(first.layouts.size(), 1u);
    EXPECT_EQ(first.layouts[0].name, "Main");
    EXPECT_EQ(first.layouts[0].switchTrigger, std::nullopt);
    EXPECT_EQ(first.layouts[0].profile, profile);  // the actions keep their ids
    EXPECT_NE(ProfileCodec::decodeKeymaps(document, "Main").layouts[0].id, first.layouts[0].id);

    EXPECT_EQ(ProfileCodec::decodeKeymaps(document, std::string(40, 'x')).layouts[0].name.size(),
              40u);
    const std::pair<std::string, std::string> badNames[] = {
        {"", "layouts[0].name is empty"},
        {" \t", "layouts[0].name is empty"},
        {std::string(41, 'x'), "layouts[0].name is longer than 40 characters"},
    };
    for (const auto& [name, message] : badNames) {
        EXPECT_EQ(test::thrown<ProfileError>([&] { ProfileCodec::decodeKeymaps(document, name); }),
                  ProfileError::invalidValue(message));
    }
}

TEST(ProfileCodec, ReadersDefaultTheOptionalMembersAndIgnoreUnknownOnes) {
    const UUID stickId = *UUID::parse("00000000-0000-4000-8000-0000000000AB");
    const UUID tapId = *UUID::parse("00000000-0000-4000-8000-0000000000CD");
    const KeymapProfile expected(
        "com.example.game", Orientation::portrait,
        {{stickId, KeymapAction::Stick{Trigger::key(13),
                                       Trigger::key(1),
                                       Trigger::key(0),
                                       Trigger::gamepad(GamepadButtons::dpadRight),
                                       std::nullopt,
                                       {1, 0},
                                       0.5}},
         {tapId, KeymapAction::Tap{Trigger::mouseButton(2), {0.5, 0.5}}}});
    const std::string actions = R"("actions": [
        {"id": "00000000-0000-4000-8000-0000000000ab", "type": "stick", "up": {"key": 13},
         "down": {"key": 1}, "left": {"key": 0}, "right": {"gamepad": "dpadRight"},
         "center": {"x": 1, "y": 0, "z": 3}, "radius": 0.5, "zone": 7},
        {"id": "00000000-0000-4000-8000-0000000000cd", "type": "tap", "trigger": {"mouse": 2},
         "at": {"x": 0.5, "y": 0.5}, "radius": 0.1, "gamepadStick": 7}])";
    const std::string single = R"({"version": 1, "packageName": "com.example.game",
        "orientation": "portrait", "showLabels": null, "extra": {"a": [1, 2]}, )" +
                               actions + "}";
    EXPECT_EQ(ProfileCodec::decode(asBytes(single)), expected);

    const Json written = tree(ProfileCodec::encode(expected));
    EXPECT_EQ(written["showLabels"], true);
    EXPECT_FALSE(written["actions"][0].contains("gamepadStick"));
    EXPECT_FALSE(written["actions"][1].contains("radius"));

    // A layout takes the document's package; "\/" reads as "/" and is written plain.
    const std::string all = R"({"version": 2, "packageName": "com.example.game", "layouts": [
        {"id": "00000000-0000-4000-8000-000000000100", "name": "Left\/Right",
         "switchTrigger": null, "orientation": "portrait", "packageName": "com.other", )" +
                            actions + "}]}";
    const GameKeymaps keymaps = ProfileCodec::decodeKeymaps(asBytes(all), "Main");
    EXPECT_EQ(keymaps, (GameKeymaps{"com.example.game", {{id(100), "Left/Right", {}, expected}}}));
    EXPECT_THAT(std::string(asText(ProfileCodec::encode(keymaps))),
                ::testing::HasSubstr("\"Left/Right\""));

    // A name that hides or reorders characters reads as what it shows, so that the file opens.
    for (const auto& [name, read] : std::vector<std::pair<std::string, std::string>>{
             {R"(Main\u202e\u200b\n2\t)", "Main 2"},
             {R"(\u200b)", "\uFFFD"},
             {"\U0001F3F3\uFE0F\u200D\U0001F308", "\U0001F3F3\uFE0F\u200D\U0001F308"},
         }) {
        std::string document = all;
        document.replace(document.find(R"(Left\/Right)"), 11, name);
        EXPECT_EQ(ProfileCodec::decodeKeymaps(asBytes(document), "Main").layouts[0].name, read)
            << name;
    }
    // A name of too many bytes is refused as it stands, before anything looks inside it.
    std::string hidden = all;
    std::string zeroWidth;
    for (int i = 0; i < 100000; ++i) {
        zeroWidth += R"(\u200b)";
    }
    hidden.replace(hidden.find(R"(Left\/Right)"), 11, "Main" + zeroWidth);
    EXPECT_EQ(test::thrown<ProfileError>([&] { ProfileCodec::decodeKeymaps(asBytes(hidden), ""); }),
              ProfileError::invalidValue("layouts[0].name is longer than 400 bytes"));
}

}  // namespace
}  // namespace qm
