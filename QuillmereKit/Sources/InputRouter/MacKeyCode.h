#pragma once

#include <algorithm>
#include <array>
#include <cstdint>

namespace qm {

// Mac virtual key codes the input machines treat specially.
struct MacKeyCode {
    static constexpr std::uint16_t escape = 53;

    // Left and right Option: the keymap engine reserves them for mouse pass-through.
    static constexpr std::array<std::uint16_t, 2> options{58, 61};

    static constexpr bool isOption(std::uint16_t keyCode) noexcept {
        return std::ranges::find(options, keyCode) != options.end();
    }
};

}  // namespace qm
