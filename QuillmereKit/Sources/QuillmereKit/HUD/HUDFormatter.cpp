#include "QuillmereKit/HUD/HUDFormatter.h"

#include <cmath>
#include <cstdint>
#include <string>

#include <fmt/format.h>

namespace qm::HUDFormatter {

namespace {

HUDItem unknownItem(HUDItem::Kind kind) {
    return {kind, std::string(unknown), std::nullopt, false};
}

// Halves away from zero; nothing for a value no 64-bit integer holds (a phone may report 1e300).
std::optional<std::string> roundedText(double value) {
    const double rounded = std::round(value);
    if (!(rounded >= -0x1p63 && rounded < 0x1p63)) {
        return std::nullopt;
    }
    return std::to_string(static_cast<std::int64_t>(rounded));
}

bool isUsable(std::optional<double> value) {
    return value && std::isfinite(*value) && *value >= 0;
}

}  // namespace

std::vector<HUDItem> items(const SessionStats& stats, bool detailed) {
    std::vector<HUDItem> rows{fps(stats.fps), latency(stats.latencyMillis)};
    if (!detailed) {
        return rows;
    }
    rows.push_back(latencySplit(stats.phoneMillis, stats.macMillis));
    const std::optional<PhoneTelemetry>& phone = stats.telemetry;
    if (!phone) {
        rows.push_back(phoneEncode(std::nullopt));
        rows.push_back(temperature(std::nullopt));
        rows.push_back(throttling(std::nullopt));
        rows.push_back(battery(std::nullopt, false));
        rows.push_back(decoder(stats.decoder));
        return rows;
    }
    rows.push_back(phoneEncode(phone->encoder));
    // A CPU figure that is present but not finite is unknown; only a missing one falls back.
    rows.push_back(
        temperature(phone->cpuTempCelsius ? phone->cpuTempCelsius : phone->batteryTempCelsius));
    rows.push_back(throttling(phone->thermalStatus));
    rows.push_back(battery(phone->batteryPercent, phone->charging));
    rows.push_back(decoder(stats.decoder));
    return rows;
}

HUDItem fps(double framesPerSecond) {
    const auto text = isUsable(framesPerSecond) ? roundedText(framesPerSecond) : std::nullopt;
    if (!text) {
        return unknownItem(HUDItem::Kind::fps);
    }
    return {HUDItem::Kind::fps, *text, std::nullopt, false};
}

HUDItem latency(std::optional<double> millis) {
    const auto text = isUsable(millis) ? roundedText(*millis) : std::nullopt;
    if (!text) {
        return unknownItem(HUDItem::Kind::latency);
    }
    return {HUDItem::Kind::latency, *text, HUDItem::Unit::milliseconds,
            *millis > latencyWarningMillis};
}

HUDItem latencySplit(std::optional<double> phone, std::optional<double> mac) {
    const auto phoneText = isUsable(phone) ? roundedText(*phone) : std::nullopt;
    const auto macText = isUsable(mac) ? roundedText(*mac) : std::nullopt;
    if (!phoneText || !macText) {
        return unknownItem(HUDItem::Kind::latencySplit);
    }
    return {HUDItem::Kind::latencySplit, *phoneText + " + " + *macText, HUDItem::Unit::milliseconds,
            false};
}

HUDItem phoneEncode(const std::optional<PhoneEncoderStats>& encoder) {
    if (!encoder || !encoder->hasFrames()) {
        return unknownItem(HUDItem::Kind::phoneEncode);
    }
    // fmt prints "." whatever the C locale says.
    return {HUDItem::Kind::phoneEncode, fmt::format("{:.1f}", encoder->p50Millis()),
            HUDItem::Unit::milliseconds, false};
}

HUDItem temperature(std::optional<double> celsius) {
    const auto text = celsius && std::isfinite(*celsius) ? roundedText(*celsius) : std::nullopt;
    if (!text) {
        return unknownItem(HUDItem::Kind::temperature);
    }
    return {HUDItem::Kind::temperature, *text + " \u00B0C", std::nullopt,
            *celsius >= temperatureWarningCelsius};
}

HUDItem throttling(std::optional<int> thermalStatus) {
    if (!thermalStatus || *thermalStatus < 0 || *thermalStatus > 6) {
        return unknownItem(HUDItem::Kind::throttling);
    }
    return {HUDItem::Kind::throttling, std::to_string(*thermalStatus) + "/6", std::nullopt,
            *thermalStatus >= throttlingWarningLevel};
}

HUDItem battery(std::optional<int> percent, bool charging) {
    if (!percent || *percent < 0 || *percent > 100) {
        return unknownItem(HUDItem::Kind::battery);
    }
    // The lightning sign in its text form (VS15), so it takes the label's colour.
    return {HUDItem::Kind::battery, std::to_string(*percent) + (charging ? "% \u26A1\uFE0E" : "%"),
            std::nullopt, !charging && *percent <= batteryWarningPercent};
}

HUDItem decoder(std::optional<DecoderKind> kind) {
    if (!kind) {
        return unknownItem(HUDItem::Kind::decoder);
    }
    return {HUDItem::Kind::decoder, std::string(displayName(*kind)), std::nullopt, false};
}

}  // namespace qm::HUDFormatter
