#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace qm {

// One row of the heads-up display, as HUDFormatter makes it: the figure's text, the unit the view
// prints after it, and whether the figure is past its warning threshold. A list holds each kind
// at most once, so the kind is the row's identity.
struct HUDItem {
    enum class Kind {
        fps,
        latency,
        latencySplit,
        phoneEncode,
        temperature,
        throttling,
        battery,
        decoder
    };
    enum class Unit { milliseconds };

    // In display order.
    static constexpr std::array<Kind, 8> kinds = {
        Kind::fps,         Kind::latency,    Kind::latencySplit, Kind::phoneEncode,
        Kind::temperature, Kind::throttling, Kind::battery,      Kind::decoder};

    Kind kind = Kind::fps;
    std::string value;
    std::optional<Unit> unit;  // none for unitless rows and for every unknown figure
    bool isWarning = false;

    Kind id() const noexcept { return kind; }

    bool operator==(const HUDItem&) const = default;
};

// "fps", "latency", "latencySplit", ...: the case names.
std::string_view rawValue(HUDItem::Kind kind) noexcept;

}  // namespace qm
