#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "QuillmereKit/HUD/HUDItem.h"
#include "QuillmereKit/Session/SessionTypes.h"

// The heads-up display's rows from one stats snapshot. Pure; any thread. Texts are plain UTF-8,
// not translated; titles and the unit's suffix are the view's.
namespace qm::HUDFormatter {

// A missing or invalid figure, never shown as 0.
inline constexpr std::string_view unknown = "\u2014";
inline constexpr double latencyWarningMillis = 100;
inline constexpr double temperatureWarningCelsius = 80;
inline constexpr int throttlingWarningLevel = 2;
inline constexpr int batteryWarningPercent = 15;

// fps and latency; with `detailed`, every kind in the order of HUDItem::kinds.
std::vector<HUDItem> items(const SessionStats& stats, bool detailed);

HUDItem fps(double framesPerSecond);
HUDItem latency(std::optional<double> millis);
HUDItem latencySplit(std::optional<double> phone, std::optional<double> mac);
HUDItem phoneEncode(const std::optional<PhoneEncoderStats>& encoder);
HUDItem temperature(std::optional<double> celsius);
HUDItem throttling(std::optional<int> thermalStatus);
HUDItem battery(std::optional<int> percent, bool charging);
HUDItem decoder(std::optional<DecoderKind> kind);

}  // namespace qm::HUDFormatter
