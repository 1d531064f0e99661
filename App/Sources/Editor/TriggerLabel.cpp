#include "TriggerLabel.h"

#include <QCoreApplication>
#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>

namespace qm::TriggerLabel {

namespace {

struct KeyName {
    std::uint16_t code;
    const char* label;
};

// Mac virtual key codes. Command and Option have no label: they read as their codes.
constexpr std::uint16_t spaceKey = 49;
constexpr std::array<KeyName, 74> keyNames{{
    {spaceKey, QT_TRANSLATE_NOOP("TriggerLabel", "Space")},
    {36, "↩"},
    {48, "⇥"},
    {51, "⌫"},
    {117, "⌦"},
    {53, "Esc"},
    {123, "←"},
    {124, "→"},
    {125, "↓"},
    {126, "↑"},
    {56, "⇧"},
    {60, "R⇧"},
    {59, "Ctrl"},
    {62, "RCtrl"},
    {57, "⇪"},
    {43, ","},
    {47, "."},
    {50, "`"},
    {27, "-"},
    {24, "="},
    {33, "["},
    {30, "]"},
    {42, "\\"},
    {41, ";"},
    {39, "'"},
    {44, "/"},
    {122, "F1"},
    {120, "F2"},
    {99, "F3"},
    {118, "F4"},
    {96, "F5"},
    {97, "F6"},
    {98, "F7"},
    {100, "F8"},
    {101, "F9"},
    {109, "F10"},
    {103, "F11"},
    {111, "F12"},
    {0, "A"},
    {11, "B"},
    {8, "C"},
    {2, "D"},
    {14, "E"},
    {3, "F"},
    {5, "G"},
    {4, "H"},
    {34, "I"},
    {38, "J"},
    {40, "K"},
    {37, "L"},
    {46, "M"},
    {45, "N"},
    {31, "O"},
    {35, "P"},
    {12, "Q"},
    {15, "R"},
    {1, "S"},
    {17, "T"},
    {32, "U"},
    {9, "V"},
    {13, "W"},
    {7, "X"},
    {16, "Y"},
    {6, "Z"},
    {29, "0"},
    {18, "1"},
    {19, "2"},
    {20, "3"},
    {21, "4"},
    {23, "5"},
    {22, "6"},
    {26, "7"},
    {28, "8"},
    {25, "9"},
}};

struct ButtonName {
    std::string_view name;  // as GamepadButtons names it
    const char* label;
    bool localised;
};

constexpr std::array<ButtonName, 18> gamepadNames{{
    {"south", "A", false},
    {"east", "B", false},
    {"west", "X", false},
    {"north", "Y", false},
    {"l1", "L1", false},
    {"r1", "R1", false},
    {"l2", "L2", false},
    {"r2", "R2", false},
    {"l3", "L3", false},
    {"r3", "R3", false},
    {"share", QT_TRANSLATE_NOOP("TriggerLabel", "Share"), true},
    {"options", QT_TRANSLATE_NOOP("TriggerLabel", "Options"), true},
    {"home", QT_TRANSLATE_NOOP("TriggerLabel", "Home"), true},
    {"touchpad", QT_TRANSLATE_NOOP("TriggerLabel", "Pad"), true},
    {"dpadUp", "D↑", false},
    {"dpadDown", "D↓", false},
    {"dpadLeft", "D←", false},
    {"dpadRight", "D→", false},
}};

QString translated(const char* text) {
    return QCoreApplication::translate("TriggerLabel", text);
}

QString keyText(std::uint16_t code) {
    const auto named = std::ranges::find(keyNames, code, &KeyName::code);
    if (named == keyNames.end()) {
        return QStringLiteral("0x") + QString::number(code, 16).toUpper().rightJustified(2, u'0');
    }
    return code == spaceKey ? translated(named->label) : QString::fromUtf8(named->label);
}

QString mouseText(std::int64_t button) {
    switch (button) {
        case 0:
            return QCoreApplication::translate("TriggerLabel", "LMB");
        case 1:
            return QCoreApplication::translate("TriggerLabel", "RMB");
        case 2:
            return QCoreApplication::translate("TriggerLabel", "MMB");
        default:
            return QStringLiteral("M") + QString::number(button);
    }
}

QString gamepadText(GamepadButtons buttons) {
    const std::string_view name = buttons.name().value_or(std::string_view());
    const auto named = std::ranges::find(gamepadNames, name, &ButtonName::name);
    if (named == gamepadNames.end()) {
        return QStringLiteral("?");
    }
    return named->localised ? translated(named->label) : QString::fromUtf8(named->label);
}

}  // namespace

QString text(const Trigger& trigger) {
    if (const auto code = trigger.asKey()) {
        return keyText(*code);
    }
    if (const auto button = trigger.asMouseButton()) {
        return mouseText(*button);
    }
    return gamepadText(trigger.asGamepad().value_or(GamepadButtons()));
}

}  // namespace qm::TriggerLabel
