#include "InputRouter/AndroidKeycode.h"

#include <array>
#include <cstddef>

namespace qm {

namespace {

struct KeyPair {
    std::uint16_t mac;
    std::int32_t android;
};

// Keys by position on a US keyboard.
constexpr std::array<KeyPair, 104> keyPairs{{
    {0, 29},     // A
    {11, 30},    // B
    {8, 31},     // C
    {2, 32},     // D
    {14, 33},    // E
    {3, 34},     // F
    {5, 35},     // G
    {4, 36},     // H
    {34, 37},    // I
    {38, 38},    // J
    {40, 39},    // K
    {37, 40},    // L
    {46, 41},    // M
    {45, 42},    // N
    {31, 43},    // O
    {35, 44},    // P
    {12, 45},    // Q
    {15, 46},    // R
    {1, 47},     // S
    {17, 48},    // T
    {32, 49},    // U
    {9, 50},     // V
    {13, 51},    // W
    {7, 52},     // X
    {16, 53},    // Y
    {6, 54},     // Z
    {29, 7},     // 0
    {18, 8},     // 1
    {19, 9},     // 2
    {20, 10},    // 3
    {21, 11},    // 4
    {23, 12},    // 5
    {22, 13},    // 6
    {26, 14},    // 7
    {28, 15},    // 8
    {25, 16},    // 9
    {43, 55},    // , (comma)
    {47, 56},    // . (period)
    {50, 68},    // ` (grave)
    {27, 69},    // - (minus)
    {24, 70},    // = (equal)
    {33, 71},    // [ (left bracket)
    {30, 72},    // ] (right bracket)
    {42, 73},    // \ (backslash)
    {41, 74},    // ; (semicolon)
    {39, 75},    // ' (quote)
    {44, 76},    // / (slash)
    {36, 66},    // Return
    {48, 61},    // Tab
    {49, 62},    // Space
    {51, 67},    // Delete (backspace)
    {117, 112},  // Forward Delete
    {53, 111},   // Escape
    {115, 122},  // Home
    {119, 123},  // End
    {116, 92},   // Page Up
    {121, 93},   // Page Down
    {114, 124},  // Help (Insert position)
    {123, 21},   // left arrow
    {124, 22},   // right arrow
    {125, 20},   // down arrow
    {126, 19},   // up arrow
    {56, 59},    // Shift
    {60, 60},    // right Shift
    {59, 113},   // Control
    {62, 114},   // right Control
    {58, 57},    // Option
    {61, 58},    // right Option
    {55, 117},   // Command
    {54, 118},   // right Command
    {57, 115},   // Caps Lock
    {122, 131},  // F1
    {120, 132},  // F2
    {99, 133},   // F3
    {118, 134},  // F4
    {96, 135},   // F5
    {97, 136},   // F6
    {98, 137},   // F7
    {100, 138},  // F8
    {101, 139},  // F9
    {109, 140},  // F10
    {103, 141},  // F11
    {111, 142},  // F12
    {82, 144},   // keypad 0
    {83, 145},   // keypad 1
    {84, 146},   // keypad 2
    {85, 147},   // keypad 3
    {86, 148},   // keypad 4
    {87, 149},   // keypad 5
    {88, 150},   // keypad 6
    {89, 151},   // keypad 7
    {91, 152},   // keypad 8
    {92, 153},   // keypad 9
    {75, 154},   // keypad divide
    {67, 155},   // keypad multiply
    {78, 156},   // keypad minus
    {69, 157},   // keypad plus
    {65, 158},   // keypad decimal
    {76, 160},   // keypad Enter
    {81, 161},   // keypad equals
    {71, 143},   // keypad clear
    {72, 24},    // volume up
    {73, 25},    // volume down
    {74, 164},   // mute
}};

// Every Mac key above fits below 128, so lookup is one index into a table built at compile time.
constexpr std::size_t macKeyLimit = 128;

constexpr std::array<std::int32_t, macKeyLimit> byMacKey = [] {
    std::array<std::int32_t, macKeyLimit> table{};  // 0: not passed through
    for (const KeyPair& pair : keyPairs) {
        if (pair.mac >= macKeyLimit || pair.android <= 0 || table[pair.mac] != 0) {
            throw "bad key table";  // fails the build
        }
        table[pair.mac] = pair.android;
    }
    return table;
}();

}  // namespace

std::optional<std::int32_t> AndroidKeycode::from(std::uint16_t macKeyCode) noexcept {
    if (macKeyCode >= macKeyLimit || byMacKey[macKeyCode] == 0) {
        return std::nullopt;
    }
    return byMacKey[macKeyCode];
}

std::int32_t AndroidKeycode::metaState(KeyModifiers modifiers) noexcept {
    std::int32_t meta = 0;
    if (modifiers.contains(KeyModifiers::shift)) {
        meta |= 0x41;  // SHIFT_ON | SHIFT_LEFT_ON
    }
    if (modifiers.contains(KeyModifiers::control)) {
        meta |= 0x3000;  // CTRL_ON | CTRL_LEFT_ON
    }
    if (modifiers.contains(KeyModifiers::option)) {
        meta |= 0x12;  // ALT_ON | ALT_LEFT_ON
    }
    if (modifiers.contains(KeyModifiers::command)) {
        meta |= 0x30000;  // META_ON | META_LEFT_ON
    }
    if (modifiers.contains(KeyModifiers::capsLock)) {
        meta |= 0x100000;  // CAPS_LOCK_ON
    }
    return meta;
}

}  // namespace qm
