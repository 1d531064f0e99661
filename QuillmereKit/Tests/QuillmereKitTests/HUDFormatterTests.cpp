#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "QuillmereKit/HUD/HUDFormatter.h"
#include "QuillmereKit/HUD/ThermalSuggestions.h"

namespace qm {
namespace {

using Kind = HUDItem::Kind;
constexpr auto ms = HUDItem::Unit::milliseconds;
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

HUDItem unknownRow(Kind kind) {
    return {kind, "\u2014", std::nullopt, false};
}

PhoneEncoderStats encoder(std::int64_t frames, std::int64_t p50Micros) {
    PhoneEncoderStats stats;
    stats.frames = frames;
    stats.p50Micros = p50Micros;
    return stats;
}

TEST(HUDFormatterTest, EachRowShowsItsFigureOrTheUnknownText) {
    namespace F = HUDFormatter;
    struct Case {
        const char* name;
        HUDItem row;
        HUDItem expected;
    };
    const std::vector<Case> cases = {
        {"fps NaN", F::fps(nan), unknownRow(Kind::fps)},
        {"fps negative", F::fps(-1), unknownRow(Kind::fps)},
        {"fps 0", F::fps(0), {Kind::fps, "0", std::nullopt, false}},
        {"fps half up", F::fps(59.5), {Kind::fps, "60", std::nullopt, false}},
        {"fps beyond int64", F::fps(1e300), unknownRow(Kind::fps)},
        {"latency none", F::latency(std::nullopt), unknownRow(Kind::latency)},
        {"latency at threshold", F::latency(100), {Kind::latency, "100", ms, false}},
        {"latency past threshold", F::latency(100.4), {Kind::latency, "100", ms, true}},
        {"latency negative", F::latency(-0.4), unknownRow(Kind::latency)},
        {"split phone only", F::latencySplit(12, std::nullopt), unknownRow(Kind::latencySplit)},
        {"split", F::latencySplit(12.5, 3.4), {Kind::latencySplit, "13 + 3", ms, false}},
        {"encode none", F::phoneEncode(std::nullopt), unknownRow(Kind::phoneEncode)},
        {"encode no frames", F::phoneEncode(encoder(0, 5000)), unknownRow(Kind::phoneEncode)},
        {"encode", F::phoneEncode(encoder(1, 16384)), {Kind::phoneEncode, "16.4", ms, false}},
        {"temperature below zero",
         F::temperature(-3.6),
         {Kind::temperature, "-4 \u00B0C", std::nullopt, false}},
        {"temperature rounds to zero",
         F::temperature(-0.4),
         {Kind::temperature, "0 \u00B0C", std::nullopt, false}},
        {"temperature shows 80 below threshold",
         F::temperature(79.6),
         {Kind::temperature, "80 \u00B0C", std::nullopt, false}},
        {"temperature at threshold",
         F::temperature(80),
         {Kind::temperature, "80 \u00B0C", std::nullopt, true}},
        {"temperature beyond int64", F::temperature(1e300), unknownRow(Kind::temperature)},
        {"status 7", F::throttling(7), unknownRow(Kind::throttling)},
        {"status 1", F::throttling(1), {Kind::throttling, "1/6", std::nullopt, false}},
        {"status 2", F::throttling(2), {Kind::throttling, "2/6", std::nullopt, true}},
        {"battery 15", F::battery(15, false), {Kind::battery, "15%", std::nullopt, true}},
        {"battery 16", F::battery(16, false), {Kind::battery, "16%", std::nullopt, false}},
        {"battery charging",
         F::battery(10, true),
         {Kind::battery, "10% \u26A1\uFE0E", std::nullopt, false}},
        {"battery 101", F::battery(101, false), unknownRow(Kind::battery)},
        {"decoder unknown", F::decoder(std::nullopt), unknownRow(Kind::decoder)},
        {"decoder", F::decoder(DecoderKind::vaapi), {Kind::decoder, "VAAPI", std::nullopt, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.row, c.expected);
    }
}

TEST(HUDFormatterTest, ListsTwoRowsOrAllAndFallsBackOnlyForAMissingCPUFigure) {
    SessionStats stats(30, 20, 0, std::nullopt);
    EXPECT_EQ(HUDFormatter::items(stats, false).size(), 2u);

    const std::vector<HUDItem> bare = HUDFormatter::items(stats, true);
    ASSERT_EQ(bare.size(), HUDItem::kinds.size());
    for (std::size_t i = 0; i < bare.size(); ++i) {
        EXPECT_EQ(bare[i].kind, HUDItem::kinds[i]);
    }
    for (std::size_t i = 2; i < bare.size(); ++i) {
        EXPECT_EQ(bare[i], unknownRow(bare[i].kind));
    }

    PhoneTelemetry phone;
    phone.batteryTempCelsius = 41;
    stats.telemetry = phone;
    EXPECT_EQ(HUDFormatter::items(stats, true)[4].value, "41 \u00B0C");
    stats.telemetry->cpuTempCelsius = nan;
    EXPECT_EQ(HUDFormatter::items(stats, true)[4], unknownRow(Kind::temperature));
    stats.telemetry->cpuTempCelsius = 85;
    EXPECT_EQ(HUDFormatter::items(stats, true)[4].value, "85 \u00B0C");
}

// A decimal comma in the C library's numeric locale must not reach the encode time.
TEST(HUDFormatterTest, EncodeTimeKeepsItsPointUnderACommaLocale) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    QFile source(folder.filePath("comma"));
    ASSERT_TRUE(source.open(QIODevice::WriteOnly));
    source.write(
        "LC_NUMERIC\ndecimal_point \"<U002C>\"\nthousands_sep \"\"\ngrouping -1\n"
        "END LC_NUMERIC\n");
    source.close();
    // localedef warns about the categories left out, and says so in its exit status.
    QProcess localedef;
    localedef.setStandardOutputFile(QProcess::nullDevice());
    localedef.setStandardErrorFile(QProcess::nullDevice());
    localedef.start("localedef",
                    {"-c", "-i", source.fileName(), "-f", "UTF-8", folder.filePath("comma.UTF-8")});
    ASSERT_TRUE(localedef.waitForFinished());
    ::setenv("LOCPATH", folder.path().toLocal8Bit().constData(), 1);
    const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
    ASSERT_NE(std::setlocale(LC_NUMERIC, "comma.UTF-8"), nullptr);
    char printed[16];
    std::snprintf(printed, sizeof printed, "%.1f", 16.4);

    const HUDItem row = HUDFormatter::phoneEncode(encoder(1, 16384));
    std::setlocale(LC_NUMERIC, previous.c_str());
    ::unsetenv("LOCPATH");
    ASSERT_STREQ(printed, "16,4");
    EXPECT_EQ(row.value, "16.4");
}

TEST(ThermalSuggestionsTest, OffersTheNextSmallerSizeThenThirtyFps) {
    struct Case {
        int maxSize, maxFps;
        std::vector<StreamQuality> expected;
    };
    const std::vector<Case> cases = {
        {1920, 60, {{1600, 60}, {1920, 30}}},
        {1600, 0, {{1280, 0}, {1600, 30}}},
        {1024, 24, {{800, 24}}},
        {800, 30, {}},
        {0, 30, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.maxSize) + " px at " + std::to_string(c.maxFps));
        ServerOptions current(7);
        current.maxSize = c.maxSize;
        current.maxFps = c.maxFps;
        EXPECT_EQ(ThermalSuggestions::options(current), c.expected);
    }
}

}  // namespace
}  // namespace qm
