#include "Telemetry/EncoderStatsLog.h"

#include <cmath>

#include <fmt/format.h>

namespace qm {

std::optional<std::string> EncoderStatsLog::line(const PhoneTelemetry& telemetry,
                                                 double intervalSeconds) {
    if (!telemetry.encoder) {
        return std::nullopt;
    }
    // fmt ignores the C locale, which Qt sets from the environment.
    const std::string temperature = telemetry.cpuTempCelsius
                                        ? fmt::format("cpu {:.1f} °C", *telemetry.cpuTempCelsius)
                                        : std::string("cpu n/a");
    const PhoneEncoderStats& encoder = *telemetry.encoder;
    if (!encoder.hasFrames()) {
        return "encoder: no frames, " + temperature;
    }
    // Halves away from zero, and kept a double so that no frame count the phone reports can
    // overflow an integer.
    const double fps = intervalSeconds > 0
                           ? std::round(static_cast<double>(encoder.frames) / intervalSeconds)
                           : 0.0;
    return fmt::format(
        "encoder: p50 {:.1f} ms p90 {:.1f} max {:.1f}, {:.0f} fps, {:.1f} kB/frame, {}",
        encoder.p50Millis(), encoder.p90Millis(), encoder.maxMillis(), fps,
        encoder.bytesPerFrame() / 1000.0, temperature);
}

}  // namespace qm
