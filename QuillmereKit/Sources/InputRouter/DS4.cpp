#include "InputRouter/DS4.h"

#include <algorithm>
#include <cmath>

namespace qm {

namespace {

constexpr std::array<std::uint8_t, 144> descriptor{
    0x05, 0x01, 0x09, 0x05, 0xA1, 0x01, 0x85, 0x01, 0x09, 0x30, 0x09, 0x31, 0x09, 0x32, 0x09, 0x35,
    0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08, 0x95, 0x04, 0x81, 0x02, 0x09, 0x39, 0x15, 0x00, 0x25,
    0x07, 0x35, 0x00, 0x46, 0x3B, 0x01, 0x65, 0x14, 0x75, 0x04, 0x95, 0x01, 0x81, 0x42, 0x65, 0x00,
    0x45, 0x00, 0x05, 0x09, 0x19, 0x01, 0x29, 0x0E, 0x15, 0x00, 0x25, 0x01, 0x75, 0x01, 0x95, 0x0E,
    0x81, 0x02, 0x06, 0x00, 0xFF, 0x09, 0x20, 0x75, 0x06, 0x95, 0x01, 0x25, 0x3F, 0x81, 0x02, 0x05,
    0x01, 0x09, 0x33, 0x09, 0x34, 0x26, 0xFF, 0x00, 0x75, 0x08, 0x95, 0x02, 0x81, 0x02, 0x06, 0x00,
    0xFF, 0x09, 0x21, 0x95, 0x36, 0x81, 0x02, 0x85, 0x05, 0x09, 0x22, 0x95, 0x1F, 0x91, 0x02, 0x85,
    0x02, 0x09, 0x24, 0x95, 0x24, 0xB1, 0x02, 0x85, 0x12, 0x09, 0x25, 0x95, 0x0F, 0xB1, 0x02, 0x85,
    0x81, 0x09, 0x26, 0x95, 0x06, 0xB1, 0x02, 0x85, 0xA3, 0x09, 0x27, 0x95, 0x30, 0xB1, 0x02, 0xC0,
};

// -1...1 onto 0...255 with the centre at 128; NaN reads as centred.
std::uint8_t axis(double value) noexcept {
    if (std::isnan(value)) {
        return 128;
    }
    return static_cast<std::uint8_t>(std::round((std::clamp(value, -1.0, 1.0) + 1) * 127.5));
}

// 0...1 onto 0...255; a held digital button presses a trigger that reports no travel, so
// controllers without analogue triggers still press them fully.
std::uint8_t trigger(double value, bool buttonHeld) noexcept {
    const std::uint8_t analogue =
        std::isnan(value)
            ? 0
            : static_cast<std::uint8_t>(std::round(std::clamp(value, 0.0, 1.0) * 255));
    return analogue == 0 && buttonHeld ? 255 : analogue;
}

// The hat switch value; opposite directions cancel, 8 is centred.
std::uint8_t hat(GamepadButtons b) noexcept {
    const bool up = b.contains(GamepadButtons::dpadUp) && !b.contains(GamepadButtons::dpadDown);
    const bool down = b.contains(GamepadButtons::dpadDown) && !b.contains(GamepadButtons::dpadUp);
    const bool left =
        b.contains(GamepadButtons::dpadLeft) && !b.contains(GamepadButtons::dpadRight);
    const bool right =
        b.contains(GamepadButtons::dpadRight) && !b.contains(GamepadButtons::dpadLeft);
    if (up) {
        return right ? 1 : left ? 7 : 0;
    }
    if (down) {
        return right ? 3 : left ? 5 : 4;
    }
    return right ? 2 : left ? 6 : 8;
}

std::uint8_t bit(GamepadButtons buttons, GamepadButtons button, int position) noexcept {
    return buttons.contains(button) ? static_cast<std::uint8_t>(1u << position) : 0;
}

}  // namespace

std::span<const std::uint8_t> DS4::reportDescriptor() noexcept {
    return descriptor;
}

DS4::InputReport DS4::inputReport(const GamepadState& state, std::uint8_t counter) noexcept {
    const GamepadButtons b = state.buttons;
    const unsigned count = counter & 63u;
    InputReport r{};
    r[0] = 0x01;
    r[1] = axis(state.leftStick.x);
    r[2] = axis(state.leftStick.y);
    r[3] = axis(state.rightStick.x);
    r[4] = axis(state.rightStick.y);
    r[5] = hat(b) | bit(b, GamepadButtons::west, 4) | bit(b, GamepadButtons::south, 5) |
           bit(b, GamepadButtons::east, 6) | bit(b, GamepadButtons::north, 7);
    r[8] = trigger(state.leftTrigger, b.contains(GamepadButtons::l2));
    r[9] = trigger(state.rightTrigger, b.contains(GamepadButtons::r2));
    r[6] = bit(b, GamepadButtons::l1, 0) | bit(b, GamepadButtons::r1, 1) | (r[8] != 0 ? 0x04 : 0) |
           (r[9] != 0 ? 0x08 : 0) | bit(b, GamepadButtons::share, 4) |
           bit(b, GamepadButtons::options, 5) | bit(b, GamepadButtons::l3, 6) |
           bit(b, GamepadButtons::r3, 7);
    r[7] = static_cast<std::uint8_t>(bit(b, GamepadButtons::home, 0) |
                                     bit(b, GamepadButtons::touchpad, 1) | (count << 2));
    const unsigned timestamp = count * 188;
    r[10] = static_cast<std::uint8_t>(timestamp & 0xFF);
    r[11] = static_cast<std::uint8_t>(timestamp >> 8);
    r[30] = 0x1B;  // battery level 11, cable connected
    r[33] = 0x01;  // one touch packet
    // Touch points without a finger: two per packet, three packets.
    for (std::size_t i : {35, 39, 44, 48, 53, 57}) {
        r[i] = 0x80;
    }
    return r;
}

}  // namespace qm
