#include <array>
#include <set>
#include <utility>

#include <gtest/gtest.h>

#include "InputRouter/AndroidKeycode.h"

namespace qm {
namespace {

// Written out independently of the lookup, so that a typo in either shows up.
constexpr std::pair<std::uint16_t, std::int32_t> expected[] = {
    {0, 29},     // KEYCODE_A
    {11, 30},    // KEYCODE_B
    {8, 31},     // KEYCODE_C
    {2, 32},     // KEYCODE_D
    {14, 33},    // KEYCODE_E
    {3, 34},     // KEYCODE_F
    {5, 35},     // KEYCODE_G
    {4, 36},     // KEYCODE_H
    {34, 37},    // KEYCODE_I
    {38, 38},    // KEYCODE_J
    {40, 39},    // KEYCODE_K
    {37, 40},    // KEYCODE_L
    {46, 41},    // KEYCODE_M
    {45, 42},    // KEYCODE_N
    {31, 43},    // KEYCODE_O
    {35, 44},    // KEYCODE_P
    {12, 45},    // KEYCODE_Q
    {15, 46},    // KEYCODE_R
    {1, 47},     // KEYCODE_S
    {17, 48},    // KEYCODE_T
    {32, 49},    // KEYCODE_U
    {9, 50},     // KEYCODE_V
    {13, 51},    // KEYCODE_W
    {7, 52},     // KEYCODE_X
    {16, 53},    // KEYCODE_Y
    {6, 54},     // KEYCODE_Z
    {29, 7},     // KEYCODE_0
    {18, 8},     // KEYCODE_1
    {19, 9},     // KEYCODE_2
    {20, 10},    // KEYCODE_3
    {21, 11},    // KEYCODE_4
    {23, 12},    // KEYCODE_5
    {22, 13},    // KEYCODE_6
    {26, 14},    // KEYCODE_7
    {28, 15},    // KEYCODE_8
    {25, 16},    // KEYCODE_9
    {43, 55},    // KEYCODE_COMMA
    {47, 56},    // KEYCODE_PERIOD
    {50, 68},    // KEYCODE_GRAVE
    {27, 69},    // KEYCODE_MINUS
    {24, 70},    // KEYCODE_EQUALS
    {33, 71},    // KEYCODE_LEFT_BRACKET
    {30, 72},    // KEYCODE_RIGHT_BRACKET
    {42, 73},    // KEYCODE_BACKSLASH
    {41, 74},    // KEYCODE_SEMICOLON
    {39, 75},    // KEYCODE_APOSTROPHE
    {44, 76},    // KEYCODE_SLASH
    {36, 66},    // KEYCODE_ENTER
    {48, 61},    // KEYCODE_TAB
    {49, 62},    // KEYCODE_SPACE
    {51, 67},    // KEYCODE_DEL
    {117, 112},  // KEYCODE_FORWARD_DEL
    {53, 111},   // KEYCODE_ESCAPE
    {115, 122},  // KEYCODE_MOVE_HOME
    {119, 123},  // KEYCODE_MOVE_END
    {116, 92},   // KEYCODE_PAGE_UP
    {121, 93},   // KEYCODE_PAGE_DOWN
    {114, 124},  // KEYCODE_INSERT
    {123, 21},   // KEYCODE_DPAD_LEFT
    {124, 22},   // KEYCODE_DPAD_RIGHT
    {125, 20},   // KEYCODE_DPAD_DOWN
    {126, 19},   // KEYCODE_DPAD_UP
    {56, 59},    // KEYCODE_SHIFT_LEFT
    {60, 60},    // KEYCODE_SHIFT_RIGHT
    {59, 113},   // KEYCODE_CTRL_LEFT
    {62, 114},   // KEYCODE_CTRL_RIGHT
    {58, 57},    // KEYCODE_ALT_LEFT
    {61, 58},    // KEYCODE_ALT_RIGHT
    {55, 117},   // KEYCODE_META_LEFT
    {54, 118},   // KEYCODE_META_RIGHT
    {57, 115},   // KEYCODE_CAPS_LOCK
    {122, 131},  // KEYCODE_F1
    {120, 132},  // KEYCODE_F2
    {99, 133},   // KEYCODE_F3
    {118, 134},  // KEYCODE_F4
    {96, 135},   // KEYCODE_F5
    {97, 136},   // KEYCODE_F6
    {98, 137},   // KEYCODE_F7
    {100, 138},  // KEYCODE_F8
    {101, 139},  // KEYCODE_F9
    {109, 140},  // KEYCODE_F10
    {103, 141},  // KEYCODE_F11
    {111, 142},  // KEYCODE_F12
    {82, 144},   // KEYCODE_NUMPAD_0
    {83, 145},   // KEYCODE_NUMPAD_1
    {84, 146},   // KEYCODE_NUMPAD_2
    {85, 147},   // KEYCODE_NUMPAD_3
    {86, 148},   // KEYCODE_NUMPAD_4
    {87, 149},   // KEYCODE_NUMPAD_5
    {88, 150},   // KEYCODE_NUMPAD_6
    {89, 151},   // KEYCODE_NUMPAD_7
    {91, 152},   // KEYCODE_NUMPAD_8
    {92, 153},   // KEYCODE_NUMPAD_9
    {75, 154},   // KEYCODE_NUMPAD_DIVIDE
    {67, 155},   // KEYCODE_NUMPAD_MULTIPLY
    {78, 156},   // KEYCODE_NUMPAD_SUBTRACT
    {69, 157},   // KEYCODE_NUMPAD_ADD
    {65, 158},   // KEYCODE_NUMPAD_DOT
    {76, 160},   // KEYCODE_NUMPAD_ENTER
    {81, 161},   // KEYCODE_NUMPAD_EQUALS
    {71, 143},   // KEYCODE_NUM_LOCK
    {72, 24},    // KEYCODE_VOLUME_UP
    {73, 25},    // KEYCODE_VOLUME_DOWN
    {74, 164},   // KEYCODE_VOLUME_MUTE
};

TEST(AndroidKeycode, TableIsCompleteAndHasNoDuplicates) {
    ASSERT_EQ(std::size(expected), 104u);
    for (const auto& [mac, android] : expected) {
        EXPECT_EQ(AndroidKeycode::from(mac), android) << "Mac key " << mac;
    }
    std::set<std::int32_t> androidCodes;
    int mapped = 0;
    for (std::uint32_t mac = 0; mac <= 0xFFFF; ++mac) {
        if (const auto android = AndroidKeycode::from(static_cast<std::uint16_t>(mac))) {
            ++mapped;
            androidCodes.insert(*android);
        }
    }
    EXPECT_EQ(mapped, 104);
    EXPECT_EQ(androidCodes.size(), 104u);
}

TEST(AndroidKeycode, KeysOutsideTheTableAreNotPassedThrough) {
    EXPECT_EQ(AndroidKeycode::from(63), std::nullopt);   // Fn
    EXPECT_EQ(AndroidKeycode::from(105), std::nullopt);  // F13
    EXPECT_EQ(AndroidKeycode::from(10), std::nullopt);   // ISO section
    EXPECT_EQ(AndroidKeycode::from(0xFFFF), std::nullopt);
}

TEST(AndroidKeycode, MetaStateUsesTheLeftHandBits) {
    EXPECT_EQ(AndroidKeycode::metaState({}), 0);
    EXPECT_EQ(AndroidKeycode::metaState(KeyModifiers::shift), 0x41);
    EXPECT_EQ(AndroidKeycode::metaState(KeyModifiers::control), 0x3000);
    EXPECT_EQ(AndroidKeycode::metaState(KeyModifiers::option), 0x12);
    EXPECT_EQ(AndroidKeycode::metaState(KeyModifiers::command), 0x30000);
    EXPECT_EQ(AndroidKeycode::metaState(KeyModifiers::capsLock), 0x100000);
    EXPECT_EQ(AndroidKeycode::metaState(KeyModifiers(0x1F)), 0x133053);
}

}  // namespace
}  // namespace qm
