#include "QuillmereCore/ControlMessage.h"

namespace qm {

template <>
std::optional<KeyAction> fromRawValue<KeyAction>(std::uint8_t raw) noexcept {
    if (raw <= rawValue(KeyAction::up)) {
        return static_cast<KeyAction>(raw);
    }
    return std::nullopt;
}

template <>
std::optional<MotionAction> fromRawValue<MotionAction>(std::uint8_t raw) noexcept {
    if (raw <= rawValue(MotionAction::move)) {
        return static_cast<MotionAction>(raw);
    }
    return std::nullopt;
}

}  // namespace qm
