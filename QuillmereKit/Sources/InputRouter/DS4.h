#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "InputRouter/Gamepad.h"

namespace qm {

// The controller the phone is shown in the controller mode: its USB identity, its HID report
// descriptor and its 64-byte input report.
struct DS4 {
    using InputReport = std::array<std::uint8_t, 64>;

    static constexpr std::uint16_t vendorID = 0x054C;
    static constexpr std::uint16_t productID = 0x09CC;
    static constexpr std::string_view name = "Sony Interactive Entertainment Wireless Controller";

    // 144 bytes: one game pad collection with input report 1, output report 5 and four
    // feature reports.
    static std::span<const std::uint8_t> reportDescriptor() noexcept;

    // Input report 1 for the state. Only the low six bits of `counter` are used.
    static InputReport inputReport(const GamepadState& state, std::uint8_t counter) noexcept;
};

}  // namespace qm
