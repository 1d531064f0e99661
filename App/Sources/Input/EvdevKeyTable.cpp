#include "Input/EvdevKeyTable.h"

#include <array>

namespace qm {
namespace {

struct KeyPair {
    std::uint16_t evdev;
    std::uint16_t mac;
};

// By position on a US (ANSI) keyboard, with the ISO and Japanese extra keys where a Mac
// keyboard has them; PrintScreen, ScrollLock and Pause sit where a Mac's F13 to F15 do.
constexpr KeyPair keyPairs[] = {
    {1, 53},     // Esc
    {2, 18},     // 1
    {3, 19},     // 2
    {4, 20},     // 3
    {5, 21},     // 4
    {6, 23},     // 5
    {7, 22},     // 6
    {8, 26},     // 7
    {9, 28},     // 8
    {10, 25},    // 9
    {11, 29},    // 0
    {12, 27},    // -
    {13, 24},    // =
    {14, 51},    // Backspace
    {15, 48},    // Tab
    {16, 12},    // Q
    {17, 13},    // W
    {18, 14},    // E
    {19, 15},    // R
    {20, 17},    // T
    {21, 16},    // Y
    {22, 32},    // U
    {23, 34},    // I
    {24, 31},    // O
    {25, 35},    // P
    {26, 33},    // [
    {27, 30},    // ]
    {28, 36},    // Enter
    {29, 59},    // left Ctrl
    {30, 0},     // A
    {31, 1},     // S
    {32, 2},     // D
    {33, 3},     // F
    {34, 5},     // G
    {35, 4},     // H
    {36, 38},    // J
    {37, 40},    // K
    {38, 37},    // L
    {39, 41},    // ;
    {40, 39},    // '
    {41, 50},    // `
    {42, 56},    // left Shift
    {43, 42},    // backslash
    {44, 6},     // Z
    {45, 7},     // X
    {46, 8},     // C
    {47, 9},     // V
    {48, 11},    // B
    {49, 45},    // N
    {50, 46},    // M
    {51, 43},    // ,
    {52, 47},    // .
    {53, 44},    // /
    {54, 60},    // right Shift
    {55, 67},    // keypad *
    {56, 58},    // left Alt
    {57, 49},    // Space
    {58, 57},    // Caps Lock
    {59, 122},   // F1
    {60, 120},   // F2
    {61, 99},    // F3
    {62, 118},   // F4
    {63, 96},    // F5
    {64, 97},    // F6
    {65, 98},    // F7
    {66, 100},   // F8
    {67, 101},   // F9
    {68, 109},   // F10
    {69, 71},    // Num Lock: keypad clear
    {70, 107},   // Scroll Lock: F14
    {71, 89},    // keypad 7
    {72, 91},    // keypad 8
    {73, 92},    // keypad 9
    {74, 78},    // keypad -
    {75, 86},    // keypad 4
    {76, 87},    // keypad 5
    {77, 88},    // keypad 6
    {78, 69},    // keypad +
    {79, 83},    // keypad 1
    {80, 84},    // keypad 2
    {81, 85},    // keypad 3
    {82, 82},    // keypad 0
    {83, 65},    // keypad .
    {86, 10},    // ISO key beside left Shift
    {87, 103},   // F11
    {88, 111},   // F12
    {89, 94},    // JIS Ro
    {92, 104},   // JIS Henkan: Kana
    {94, 102},   // JIS Muhenkan: Eisu
    {95, 95},    // JIS keypad ,
    {96, 76},    // keypad Enter
    {97, 62},    // right Ctrl
    {98, 75},    // keypad /
    {99, 105},   // PrintScreen: F13
    {100, 61},   // right Alt
    {102, 115},  // Home
    {103, 126},  // Up
    {104, 116},  // Page Up
    {105, 123},  // Left
    {106, 124},  // Right
    {107, 119},  // End
    {108, 125},  // Down
    {109, 121},  // Page Down
    {110, 114},  // Insert: Help
    {111, 117},  // Delete
    {113, 74},   // Mute
    {114, 73},   // Volume Down
    {115, 72},   // Volume Up
    {117, 81},   // keypad =
    {119, 113},  // Pause: F15
    {122, 104},  // Hangeul: Kana
    {123, 102},  // Hanja: Eisu
    {124, 93},   // JIS Yen
    {125, 55},   // left Super: Command
    {126, 54},   // right Super: right Command
    {127, 110},  // Menu
    {183, 105},  // F13
    {184, 107},  // F14
    {185, 113},  // F15
    {186, 106},  // F16
    {187, 64},   // F17
    {188, 79},   // F18
    {189, 80},   // F19
    {190, 90},   // F20
};

constexpr std::uint16_t none = 0xFFFF;

constexpr std::array<std::uint16_t, EvdevKeyTable::limit> byEvdev = [] {
    std::array<std::uint16_t, EvdevKeyTable::limit> table{};
    table.fill(none);
    for (const KeyPair& pair : keyPairs) {
        if (pair.evdev >= EvdevKeyTable::limit || pair.mac >= 128 || table[pair.evdev] != none) {
            throw "bad key table";  // fails the build
        }
        table[pair.evdev] = pair.mac;
    }
    return table;
}();

}  // namespace

std::optional<std::uint16_t> EvdevKeyTable::macKeyCode(std::uint32_t evdevCode) noexcept {
    if (evdevCode >= limit || byEvdev[evdevCode] == none) {
        return std::nullopt;
    }
    return byEvdev[evdevCode];
}

}  // namespace qm
