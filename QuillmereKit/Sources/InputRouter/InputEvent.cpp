#include "InputRouter/InputEvent.h"

#include "InputRouter/JsonInteger.h"

namespace qm {

template <>
std::optional<InputMode> fromRawValue<InputMode>(int raw) noexcept {
    if (raw >= rawValue(InputMode::phoneGamepad) && raw <= rawValue(InputMode::keymap)) {
        return static_cast<InputMode>(raw);
    }
    return std::nullopt;
}

std::string_view logName(InputMode mode) noexcept {
    switch (mode) {
        case InputMode::phoneGamepad:
            return "Phone Gamepad";
        case InputMode::macGamepad:
            return "PC Gamepad";
        case InputMode::keyboardMouse:
            return "Keyboard & Mouse";
        case InputMode::keymap:
            return "Key Mapping";
    }
    return "unknown";
}

void to_json(nlohmann::json& json, InputMode mode) {
    json = rawValue(mode);
}

void from_json(const nlohmann::json& json, InputMode& mode) {
    // Range-checked before narrowing, so that a huge number cannot wrap onto a mode.
    const auto raw = jsonInteger(json);
    const auto parsed =
        raw && *raw >= 0 && *raw <= 4 ? fromRawValue<InputMode>(int(*raw)) : std::nullopt;
    if (!parsed) {
        throw nlohmann::json::other_error::create(501, "not an input mode: " + json.dump(), &json);
    }
    mode = *parsed;
}

}  // namespace qm
