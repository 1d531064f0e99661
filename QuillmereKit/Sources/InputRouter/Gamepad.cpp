#include "InputRouter/Gamepad.h"

#include <string>

#include "InputRouter/JsonInteger.h"

namespace qm {

void to_json(nlohmann::json& json, GamepadButtons buttons) {
    json = buttons.rawValue;
}

void from_json(const nlohmann::json& json, GamepadButtons& buttons) {
    const auto raw = jsonInteger(json);
    if (!raw || *raw < 0 || *raw > std::numeric_limits<std::uint32_t>::max()) {
        throw nlohmann::json::type_error::create(
            302, "gamepad buttons must be an unsigned 32-bit number, not " + json.dump(), &json);
    }
    buttons = GamepadButtons(static_cast<std::uint32_t>(*raw));
}

}  // namespace qm
