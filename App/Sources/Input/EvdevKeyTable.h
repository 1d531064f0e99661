#pragma once

#include <cstdint>
#include <optional>

namespace qm {

// Linux key codes (evdev, as in <linux/input-event-codes.h>) to the Mac virtual key codes the
// keymaps store, by the key's position on the keyboard whatever its layout. Pure; any thread.
struct EvdevKeyTable {
    // X11 key codes are evdev codes + 8 and end at 255.
    static constexpr std::uint32_t limit = 248;

    // Nothing for a key without a Mac counterpart.
    static std::optional<std::uint16_t> macKeyCode(std::uint32_t evdevCode) noexcept;
};

}  // namespace qm
