#include "InputRouter/ProfileCodec.h"

#include <unordered_set>
#include <utility>
#include <variant>

#include <fmt/format.h>

#include "InputRouter/JsonNode.h"
#include "InputRouter/ProfileCoding.h"
#include "QuillmereCore/DoubleText.h"
#include "QuillmereCore/UnicodeText.h"

namespace qm {

namespace {

[[noreturn]] void invalid(const std::string& message) {
    throw ProfileError::invalidValue(message);
}

// The JSON writer refuses text that is not UTF-8; only a value made in memory can hold it.
void checkText(std::string_view text, const std::string& path) {
    if (!UnicodeText::isWellFormedUTF8(text)) {
        invalid(path + " is not valid UTF-8");
    }
}

// NaN fails every comparison, so it is refused here and by the range checks below.
void checkUnit(double value, const std::string& path) {
    if (!(value >= 0 && value <= 1)) {
        invalid(path + " = " + doubleText(value) + " is outside 0…1");
    }
}

void checkPoint(PointF point, const std::string& path) {
    checkUnit(point.x, path + ".x");
    checkUnit(point.y, path + ".y");
}

void checkZone(const RectF& zone, const std::string& path) {
    checkUnit(zone.x, path + ".x");
    checkUnit(zone.y, path + ".y");
    if (!(zone.width > 0 && zone.height > 0)) {
        invalid(path + " is empty");
    }
    checkUnit(zone.x + zone.width, path + ".x + width");
    checkUnit(zone.y + zone.height, path + ".y + height");
}

void checkKind(const KeymapAction::Tap& tap, const std::string& prefix) {
    ProfileCodec::checkTrigger(tap.trigger, prefix + ".trigger");
    checkPoint(tap.at, prefix + ".at");
}

void checkKind(const KeymapAction::Stick& stick, const std::string& prefix) {
    ProfileCodec::checkTrigger(stick.up, prefix + ".up");
    ProfileCodec::checkTrigger(stick.down, prefix + ".down");
    ProfileCodec::checkTrigger(stick.left, prefix + ".left");
    ProfileCodec::checkTrigger(stick.right, prefix + ".right");
    checkPoint(stick.center, prefix + ".center");
    if (!(stick.radius > 0 && stick.radius <= ProfileCodec::maxStickRadius)) {
        invalid(prefix + ".radius = " + doubleText(stick.radius) + " is outside (0, " +
                doubleText(ProfileCodec::maxStickRadius) + "]");
    }
}

void checkKind(const KeymapAction::Look& look, const std::string& prefix) {
    checkPoint(look.center, prefix + ".center");
    checkZone(look.zone, prefix + ".zone");
    const RectF& zone = look.zone;
    const bool inside = look.center.x >= zone.x && look.center.x <= zone.x + zone.width &&
                        look.center.y >= zone.y && look.center.y <= zone.y + zone.height;
    if (!inside) {
        invalid(prefix + ".center is outside " + prefix + ".zone");
    }
    if (!(look.sensitivity > 0 && look.sensitivity <= ProfileCodec::maxSensitivity)) {
        invalid(prefix + ".sensitivity = " + doubleText(look.sensitivity) + " is outside (0, " +
                doubleText(ProfileCodec::maxSensitivity) + "]");
    }
}

Bytes document(const nlohmann::json& tree) {
    return toBytes(tree.dump(2));
}

}  // namespace

Bytes ProfileCodec::encode(const KeymapProfile& profile) {
    validate(profile);
    return document(ProfileCoding::write(profile));
}

KeymapProfile ProfileCodec::decode(ByteView data) {
    const nlohmann::json tree = JsonNode::parse(data);
    KeymapProfile profile = ProfileCoding::readProfile(JsonNode(tree));
    validate(profile);
    return profile;
}

void ProfileCodec::validate(const KeymapProfile& profile) {
    if (profile.version != currentVersion) {
        throw ProfileError::unsupportedVersion(profile.version);
    }
    if (profile.packageName.empty()) {
        invalid("packageName is empty");
    }
    checkText(profile.packageName, "packageName");
    if (profile.actions.size() > KeymapProfile::maxActions) {
        invalid("actions has " + std::to_string(profile.actions.size()) + " entries, at most " +
                std::to_string(KeymapProfile::maxActions));
    }
    std::unordered_set<UUID> ids;
    for (std::size_t i = 0; i < profile.actions.size(); ++i) {
        const KeymapAction& action = profile.actions[i];
        const std::string prefix = "actions[" + std::to_string(i) + "]";
        if (!ids.insert(action.id).second) {
            invalid(prefix + ".id is duplicated");
        }
        std::visit([&](const auto& kind) { checkKind(kind, prefix); }, action.kind);
    }
}

void ProfileCodec::checkTrigger(const Trigger& trigger, const std::string& path) {
    if (const auto button = trigger.asMouseButton(); button && (*button < 0 || *button > 2)) {
        invalid(path + ".mouse = " + std::to_string(*button) + " is not 0, 1 or 2");
    }
    if (const auto buttons = trigger.asGamepad(); buttons && !buttons->name()) {
        invalid(path + ".gamepad is not a single button");
    }
}

Bytes ProfileCodec::encode(const GameKeymaps& keymaps) {
    validate(keymaps);
    return document(ProfileCoding::write(keymaps));
}

GameKeymaps ProfileCodec::decodeKeymaps(ByteView data, std::string_view migratedLayoutName) {
    const nlohmann::json tree = JsonNode::parse(data);
    const JsonNode root(tree);
    const std::int64_t version = ProfileCoding::readVersion(root);
    if (version == keymapsVersion) {
        GameKeymaps keymaps = ProfileCoding::readKeymaps(root);
        validate(keymaps);
        return keymaps;
    }
    if (version != currentVersion) {
        throw ProfileError::unsupportedVersion(version);
    }
    KeymapProfile profile = ProfileCoding::readProfile(root);
    validate(profile);
    GameKeymaps keymaps =
        GameKeymaps::migrating(std::move(profile), std::string(migratedLayoutName));
    validate(keymaps);
    return keymaps;
}

void ProfileCodec::validate(const GameKeymaps& keymaps) {
    if (keymaps.packageName.empty()) {
        invalid("packageName is empty");
    }
    checkText(keymaps.packageName, "packageName");
    if (keymaps.layouts.empty()) {
        invalid("layouts is empty");
    }
    if (keymaps.layouts.size() > GameKeymaps::maxLayouts) {
        invalid("layouts has " + std::to_string(keymaps.layouts.size()) + " entries, at most " +
                std::to_string(GameKeymaps::maxLayouts));
    }
    std::unordered_set<UUID> layoutIds;
    std::unordered_set<UUID> actionIds;
    std::unordered_set<Trigger> switchTriggers;
    for (std::size_t k = 0; k < keymaps.layouts.size(); ++k) {
        const KeymapLayout& layout = keymaps.layouts[k];
        const std::string prefix = "layouts[" + std::to_string(k) + "]";
        if (!layoutIds.insert(layout.id).second) {
            invalid(prefix + ".id is duplicated");
        }
        checkText(layout.name, prefix + ".name");
        if (UnicodeText::trimmed(layout.name).empty()) {
            invalid(prefix + ".name is empty");
        }
        if (layout.name.size() > KeymapLayout::maxNameBytes) {
            invalid(prefix + ".name is longer than " + std::to_string(KeymapLayout::maxNameBytes) +
                    " bytes");
        }
        if (const auto hidden = UnicodeText::firstHiddenCharacter(layout.name)) {
            invalid(
                fmt::format("{}.name holds a control, invisible or reordering character (U+{:04X})",
                            prefix, static_cast<unsigned>(*hidden)));
        }
        if (UnicodeText::characterCount(layout.name) > KeymapLayout::maxNameLength) {
            invalid(prefix + ".name is longer than " + std::to_string(KeymapLayout::maxNameLength) +
                    " characters");
        }
        if (layout.profile.packageName != keymaps.packageName) {
            invalid(prefix + " belongs to " + UnicodeText::quoted(layout.profile.packageName));
        }
        try {
            validate(layout.profile);
        } catch (const ProfileError& error) {
            if (error.kind() != ProfileErrorKind::invalidValue) {
                throw;
            }
            invalid(prefix + "." + error.message());
        }
        for (std::size_t j = 0; j < layout.profile.actions.size(); ++j) {
            if (!actionIds.insert(layout.profile.actions[j].id).second) {
                invalid(prefix + ".actions[" + std::to_string(j) + "].id is duplicated");
            }
        }
        if (layout.switchTrigger) {
            checkTrigger(*layout.switchTrigger, prefix + ".switchTrigger");
            if (!switchTriggers.insert(*layout.switchTrigger).second) {
                invalid(prefix + ".switchTrigger is duplicated");
            }
        }
    }
}

}  // namespace qm
