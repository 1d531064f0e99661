#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "QuillmereCore/Bytes.h"

namespace qm {

// The messages the device server sends back on the control socket, one struct per case.
struct Clipboard {
    std::string text;  // the phone's clipboard
    bool operator==(const Clipboard&) const = default;
};

// The phone confirms a clipboard change.
struct AckClipboard {
    std::uint64_t sequence = 0;
    bool operator==(const AckClipboard&) const = default;
};

// An output report (rumble, LEDs) for the virtual HID device `id`.
struct UhidOutput {
    std::uint16_t id = 0;
    Bytes data;
    bool operator==(const UhidOutput&) const = default;
};

using DeviceMessage = std::variant<Clipboard, AckClipboard, UhidOutput>;

}  // namespace qm
