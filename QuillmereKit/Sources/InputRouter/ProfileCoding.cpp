#include "InputRouter/ProfileCoding.h"

#include <array>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "InputRouter/ProfileError.h"
#include "QuillmereCore/UnicodeText.h"

namespace qm::ProfileCoding {

namespace {

using Json = nlohmann::json;

PointF readPoint(const JsonNode& node) {
    return {node.member("x").number(), node.member("y").number()};
}

RectF readRect(const JsonNode& node) {
    return {node.member("x").number(), node.member("y").number(), node.member("width").number(),
            node.member("height").number()};
}

Trigger readTrigger(const JsonNode& node) {
    constexpr std::array<std::string_view, 3> keys{"key", "mouse", "gamepad"};
    std::string_view present;
    int count = 0;
    for (const std::string_view key : keys) {
        if (node.contains(key)) {
            present = key;
            ++count;
        }
    }
    if (count != 1) {
        node.fail("trigger must have exactly one of key, mouse, gamepad");
    }
    const JsonNode value = node.member(present);
    if (present == "key") {
        return Trigger::key(value.uint16());
    }
    if (present == "mouse") {
        return Trigger::mouseButton(value.integer());
    }
    const std::string name = value.string();
    const auto button = GamepadButtons::fromName(name);
    if (!button) {
        value.fail("unknown gamepad button " + UnicodeText::quoted(name));
    }
    return Trigger::gamepad(*button);
}

Orientation readOrientation(const JsonNode& node) {
    const std::string raw = node.string();
    const auto orientation = orientationFromRawValue(raw);
    if (!orientation) {
        node.fail("unknown orientation " + UnicodeText::quoted(raw));
    }
    return *orientation;
}

std::optional<StickSide> readStickSide(const JsonNode& action) {
    const auto node = action.optionalMember("gamepadStick");
    if (!node) {
        return std::nullopt;
    }
    const std::string raw = node->string();
    const auto side = stickSideFromRawValue(raw);
    if (!side) {
        node->fail("unknown stick side " + UnicodeText::quoted(raw));
    }
    return side;
}

KeymapAction readAction(const JsonNode& node) {
    const UUID id = node.member("id").uuid();
    const JsonNode typeNode = node.member("type");
    const std::string type = typeNode.string();
    // Braced lists are evaluated in order, which is the order members are read in.
    if (type == "tap") {
        return {id, KeymapAction::Tap{readTrigger(node.member("trigger")),
                                      readPoint(node.member("at"))}};
    }
    if (type == "stick") {
        return {id, KeymapAction::Stick{
                        readTrigger(node.member("up")), readTrigger(node.member("down")),
                        readTrigger(node.member("left")), readTrigger(node.member("right")),
                        readStickSide(node), readPoint(node.member("center")),
                        node.member("radius").number()}};
    }
    if (type == "look") {
        return {id,
                KeymapAction::Look{readPoint(node.member("center")), readRect(node.member("zone")),
                                   node.member("sensitivity").number(), readStickSide(node)}};
    }
    typeNode.fail("unknown action type " + UnicodeText::quoted(type));
}

std::vector<KeymapAction> readActions(const JsonNode& node) {
    std::vector<KeymapAction> actions;
    const std::size_t count = node.size();
    actions.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        actions.push_back(readAction(node.element(i)));
    }
    return actions;
}

bool readShowLabels(const JsonNode& node) {
    const auto showLabels = node.optionalMember("showLabels");
    return showLabels ? showLabels->boolean() : true;
}

// A name that hid or reordered characters reads as what it shows, so that a file written
// before names were checked still opens; one that showed nothing but such characters is U+FFFD.
std::string readName(const JsonNode& node) {
    std::string raw = node.string();
    if (raw.size() > KeymapLayout::maxNameBytes) {
        return raw;  // refused by the validation before anything looks inside
    }
    std::string name = UnicodeText::withoutHiddenCharacters(raw);
    if (name.empty() && !UnicodeText::trimmed(raw).empty()) {
        name = "\uFFFD";
    }
    return name;
}

KeymapLayout readLayout(const JsonNode& node, const std::string& packageName) {
    KeymapLayout layout;
    layout.id = node.member("id").uuid();
    layout.name = readName(node.member("name"));
    if (const auto trigger = node.optionalMember("switchTrigger")) {
        layout.switchTrigger = readTrigger(*trigger);
    }
    const Orientation orientation = readOrientation(node.member("orientation"));
    std::vector<KeymapAction> actions = readActions(node.member("actions"));
    layout.profile =
        KeymapProfile(packageName, orientation, std::move(actions), readShowLabels(node));
    return layout;
}

Json writePoint(PointF point) {
    return {{"x", point.x}, {"y", point.y}};
}

Json writeRect(const RectF& rect) {
    return {{"x", rect.x}, {"y", rect.y}, {"width", rect.width}, {"height", rect.height}};
}

Json writeTrigger(const Trigger& trigger) {
    switch (trigger.kind()) {
        case Trigger::Kind::key:
            return {{"key", *trigger.asKey()}};
        case Trigger::Kind::mouseButton:
            return {{"mouse", *trigger.asMouseButton()}};
        case Trigger::Kind::gamepad:
            break;
    }
    const auto name = trigger.asGamepad()->name();
    if (!name) {
        throw ProfileError::invalidValue("gamepad trigger must be exactly one known button");
    }
    return {{"gamepad", *name}};
}

void writeStickSide(const std::optional<StickSide>& side, Json& object) {
    if (side) {
        object["gamepadStick"] = rawValue(*side);
    }
}

void writeKind(const KeymapAction::Tap& tap, Json& object) {
    object["type"] = "tap";
    object["trigger"] = writeTrigger(tap.trigger);
    object["at"] = writePoint(tap.at);
}

void writeKind(const KeymapAction::Stick& stick, Json& object) {
    object["type"] = "stick";
    object["up"] = writeTrigger(stick.up);
    object["down"] = writeTrigger(stick.down);
    object["left"] = writeTrigger(stick.left);
    object["right"] = writeTrigger(stick.right);
    writeStickSide(stick.gamepadStick, object);
    object["center"] = writePoint(stick.center);
    object["radius"] = stick.radius;
}

void writeKind(const KeymapAction::Look& look, Json& object) {
    object["type"] = "look";
    object["center"] = writePoint(look.center);
    object["zone"] = writeRect(look.zone);
    object["sensitivity"] = look.sensitivity;
    writeStickSide(look.gamepadStick, object);
}

Json writeActions(const std::vector<KeymapAction>& actions) {
    Json array = Json::array();
    for (const KeymapAction& action : actions) {
        Json object = {{"id", action.id.uuidString()}};
        std::visit([&](const auto& kind) { writeKind(kind, object); }, action.kind);
        array.push_back(std::move(object));
    }
    return array;
}

Json writeLayout(const KeymapLayout& layout) {
    Json object = {{"id", layout.id.uuidString()},
                   {"name", layout.name},
                   {"orientation", rawValue(layout.profile.orientation)},
                   {"actions", writeActions(layout.profile.actions)},
                   {"showLabels", layout.profile.showLabels}};
    if (layout.switchTrigger) {
        object["switchTrigger"] = writeTrigger(*layout.switchTrigger);
    }
    return object;
}

}  // namespace

KeymapProfile readProfile(const JsonNode& document) {
    const std::int64_t version = readVersion(document);
    if (version != 1) {
        throw ProfileError::unsupportedVersion(version);
    }
    std::string packageName = document.member("packageName").string();
    const Orientation orientation = readOrientation(document.member("orientation"));
    std::vector<KeymapAction> actions = readActions(document.member("actions"));
    return KeymapProfile(std::move(packageName), orientation, std::move(actions),
                         readShowLabels(document));
}

GameKeymaps readKeymaps(const JsonNode& document) {
    const std::int64_t version = readVersion(document);
    if (version != 2) {
        throw ProfileError::unsupportedVersion(version);
    }
    GameKeymaps keymaps;
    keymaps.packageName = document.member("packageName").string();
    const JsonNode layouts = document.member("layouts");
    const std::size_t count = layouts.size();
    keymaps.layouts.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        keymaps.layouts.push_back(readLayout(layouts.element(i), keymaps.packageName));
    }
    return keymaps;
}

std::int64_t readVersion(const JsonNode& document) {
    return document.member("version").integer();
}

Json write(const KeymapProfile& profile) {
    return {{"version", profile.version},
            {"packageName", profile.packageName},
            {"orientation", rawValue(profile.orientation)},
            {"actions", writeActions(profile.actions)},
            {"showLabels", profile.showLabels}};
}

Json write(const GameKeymaps& keymaps) {
    Json layouts = Json::array();
    for (const KeymapLayout& layout : keymaps.layouts) {
        layouts.push_back(writeLayout(layout));
    }
    return {{"version", 2}, {"packageName", keymaps.packageName}, {"layouts", std::move(layouts)}};
}

}  // namespace qm::ProfileCoding
