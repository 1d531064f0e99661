#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Telemetry/EncoderStatsLog.h"

namespace qm {
namespace {

PhoneTelemetry report(std::optional<PhoneEncoderStats> encoder, std::optional<double> cpu) {
    PhoneTelemetry telemetry;
    telemetry.encoder = encoder;
    telemetry.cpuTempCelsius = cpu;
    return telemetry;
}

TEST(EncoderStatsLogTest, LinesByteForByte) {
    const PhoneEncoderStats sixty{60, 8000, 12500, 20000, 1'500'000};
    struct Case {
        PhoneTelemetry telemetry;
        double interval;
        std::optional<std::string> line;
    };
    const std::vector<Case> cases = {
        {report(std::nullopt, 41.3), 1.0, std::nullopt},
        {report(PhoneEncoderStats{}, std::nullopt), 1.0, "encoder: no frames, cpu n/a"},
        {report(PhoneEncoderStats{-3, 1, 1, 1, 1}, 38.04), 1.0,
         "encoder: no frames, cpu 38.0 \xC2\xB0"
         "C"},
        {report(sixty, 41.3), 1.0,
         "encoder: p50 8.0 ms p90 12.5 max 20.0, 60 fps, 25.0 kB/frame, cpu 41.3 \xC2\xB0"
         "C"},
        {report(sixty, std::nullopt), 0.0,
         "encoder: p50 8.0 ms p90 12.5 max 20.0, 0 fps, 25.0 kB/frame, cpu n/a"},
        {report(sixty, std::nullopt), -1.0,
         "encoder: p50 8.0 ms p90 12.5 max 20.0, 0 fps, 25.0 kB/frame, cpu n/a"},
        // Half a frame per second rounds up.
        {report(PhoneEncoderStats{61, 500, 900, 1000, 1001}, -2.26), 2.0,
         "encoder: p50 0.5 ms p90 0.9 max 1.0, 31 fps, 0.0 kB/frame, cpu -2.3 \xC2\xB0"
         "C"},
        // A rate no integer holds.
        {report(PhoneEncoderStats{INT64_MAX, 0, 0, 0, 0}, std::nullopt), 0.5,
         "encoder: p50 0.0 ms p90 0.0 max 0.0, 18446744073709551616 fps, 0.0 kB/frame, cpu n/a"},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(EncoderStatsLog::line(cases[i].telemetry, cases[i].interval), cases[i].line)
            << "case " << i;
    }
}

}  // namespace
}  // namespace qm
