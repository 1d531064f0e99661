#pragma once

#include <optional>
#include <string>

#include "ServerProtocol/ExtMessage.h"

namespace qm::EncoderStatsLog {

// One report of the phone's encoder as a log line: "encoder: p50 8.0 ms p90 12.5 max 20.0,
// 60 fps, 25.0 kB/frame, cpu 41.3 °C". None when the report has no encoder statistics.
// Decimal points whatever the locale; any thread.
std::optional<std::string> line(const PhoneTelemetry& telemetry, double intervalSeconds);

}  // namespace qm::EncoderStatsLog
