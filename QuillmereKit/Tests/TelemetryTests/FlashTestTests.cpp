#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Telemetry/FlashClock.h"
#include "Telemetry/FlashTestAnalyzer.h"
#include "Telemetry/FlashTestPage.h"

namespace qm {
namespace {

constexpr std::int64_t int64Max = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t int64Min = std::numeric_limits<std::int64_t>::min();

TEST(FlashClock, ConvertsBothWaysAndGivesNothingWhereTheArithmeticWouldOverflow) {
    const FlashClock clock{{1'700'000'000'000, 5'000'000'000}, 2'000'000'000};
    EXPECT_EQ(clock.macNanos(1'700'000'000'500), 3'500'000'000);
    EXPECT_EQ(clock.phoneWallMillis(3'500'000'000), 1'700'000'000'500);
    // Truncated toward zero on both sides of the anchor.
    EXPECT_EQ(clock.phoneWallMillis(3'000'999'999), 1'700'000'000'000);
    EXPECT_EQ(clock.phoneWallMillis(2'999'999'999), 1'700'000'000'000);
    EXPECT_EQ(clock.phoneWallMillis(2'998'000'000), 1'699'999'999'998);

    EXPECT_EQ(clock.macNanos(int64Max), std::nullopt);
    EXPECT_EQ(clock.macNanos(int64Min), std::nullopt);
    EXPECT_EQ(clock.phoneWallMillis(std::uint64_t(int64Max) + 1), std::nullopt);
    EXPECT_EQ((FlashClock{{0, int64Max}, int64Min}.macNanos(0)), std::nullopt);
    EXPECT_EQ((FlashClock{{0, int64Min}, 0}.macNanos(-1)), std::nullopt);
    EXPECT_EQ((FlashClock{{0, 0}, int64Max}.phoneWallMillis(1)), std::nullopt);
    EXPECT_EQ((FlashClock{{int64Max, 0}, 0}.phoneWallMillis(1'000'000)), std::nullopt);
}

TEST(FlashTestAnalyzer, SchedulesTheBoundariesAfterFromUpToTo) {
    EXPECT_FALSE(FlashTestAnalyzer::isGreen(1499));
    EXPECT_TRUE(FlashTestAnalyzer::isGreen(1500));
    EXPECT_TRUE(FlashTestAnalyzer::isGreen(1999));
    struct Case {
        std::int64_t from, to;
        std::vector<ScheduledFlip> flips;
    };
    const std::vector<Case> cases = {
        {1000, 1000, {}},
        {1000, 1499, {}},
        {2000, 1000, {}},
        {1000, 1500, {{1500, true}}},
        {999, 2000, {{1000, false}, {1500, true}, {2000, false}}},
        {int64Max - 1, int64Max, {}},
        {int64Max - 600, int64Max, {{int64Max - 307, true}}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FlashTestAnalyzer::scheduledFlips(c.from, c.to), c.flips)
            << c.from << ".." << c.to;
    }
}

TEST(FlashTestAnalyzer, PairsEachFlipWithTheFirstFreeTransitionOfItsColourInItsWindow) {
    constexpr std::uint64_t flipAt = 1'000'000'000;  // the flips at 1000 ms, on this clock
    const FlashClock clock{{0, 0}, 0};
    const ScheduledFlip black{1000, false};
    const ScheduledFlip green{1000, true};
    auto at = [](bool toGreen, std::int64_t fromFlip) {
        return FlashTransition{toGreen, std::uint64_t(std::int64_t(flipAt) + fromFlip)};
    };
    struct Case {
        const char* name;
        std::vector<ScheduledFlip> flips;
        std::vector<FlashTransition> transitions;
        std::vector<double> latencies;
    };
    const std::vector<Case> cases = {
        {"5 ms early", {black}, {at(false, -5'000'000)}, {-5}},
        {"too early", {black}, {at(false, -5'000'001)}, {}},
        {"450 ms late", {black}, {at(false, 450'000'000)}, {}},
        {"just in time", {black}, {at(false, 449'999'999)}, {449.999999}},
        {"other colour skipped and kept",
         {black, green},
         {at(true, 10'000'000), at(false, 30'000'000)},
         {30, 10}},
        {"earlier flip first",
         {green, {1100, true}},
         {at(true, 200'000'000), at(true, 300'000'000)},
         {200, 200}},
        {"one for two", {green, {1100, true}}, {at(true, 200'000'000)}, {200}},
        {"by display time", {black}, {at(false, 30'000'000), at(false, 10'000'000)}, {10}},
        {"beyond the clock", {black}, {{false, std::uint64_t(int64Max) + 1}}, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FlashTestAnalyzer::latenciesMillis(c.flips, c.transitions, clock), c.latencies)
            << c.name;
    }
    // A flip that the clock cannot place matches nothing.
    EXPECT_EQ(FlashTestAnalyzer::latenciesMillis({{int64Max, false}}, {at(false, 0)}, clock),
              std::vector<double>{});
}

TEST(FlashTestAnalyzer, ReportsTheWorkedExample) {
    const std::optional<FlashTestReport> report =
        FlashTestAnalyzer::report({61.2, 40.4, 70, 50.5}, 41, 45.2);
    ASSERT_TRUE(report);
    EXPECT_EQ(report->samplesMillis, (std::vector<double>{40.4, 50.5, 61.2, 70}));
    EXPECT_DOUBLE_EQ(report->medianMillis, 55.85);
    EXPECT_DOUBLE_EQ(*report->deltaMillis, 45.2 - 55.85);
    EXPECT_TRUE(report->hudMismatch);
    EXPECT_EQ(report->summary(),
              "Flash test: 4/41 flips detected\n"
              "latency ms  min 40 | median 56 | p90 70 | max 70\n"
              "baseline 63 ms: OK\n"
              "HUD median 45 ms, \u0394 -11 ms: MISMATCH (> 10 ms)\n"
              "all: 40 51 61 70");
}

TEST(FlashTestAnalyzer, ReportsItsStatisticsAtTheEdges) {
    EXPECT_EQ(FlashTestAnalyzer::report({}, 41, 50), std::nullopt);
    EXPECT_EQ(FlashTestAnalyzer::median({}), std::nullopt);
    EXPECT_EQ(FlashTestAnalyzer::median({3, 1, 2, 10}), 2.5);

    const FlashTestReport one = *FlashTestAnalyzer::report({42}, 1, std::nullopt);
    EXPECT_EQ(std::vector<double>({one.medianMillis, one.minMillis, one.p90Millis, one.maxMillis}),
              std::vector<double>(4, 42));
    EXPECT_EQ(one.deltaMillis, std::nullopt);
    EXPECT_FALSE(one.hudMismatch);

    auto ascending = [](int n) {
        std::vector<double> samples;
        for (int i = n; i >= 1; --i) {
            samples.push_back(i);
        }
        return samples;
    };
    for (const auto& [n, rank] : {std::pair{9, 9}, {10, 9}, {20, 18}, {41, 37}}) {
        EXPECT_EQ(FlashTestAnalyzer::report(ascending(n), n, std::nullopt)->p90Millis, rank) << n;
    }

    // A difference of exactly 10 agrees; a median of exactly 63 meets the baseline.
    for (const double hud : {53.0, 73.0}) {
        const FlashTestReport edge = *FlashTestAnalyzer::report({60, 66}, 2, hud);
        EXPECT_FALSE(edge.hudMismatch) << hud;
        EXPECT_TRUE(edge.meetsBaseline);
    }
    EXPECT_FALSE(FlashTestAnalyzer::report({63.5}, 1, std::nullopt)->meetsBaseline);

    EXPECT_EQ(FlashTestAnalyzer::report({-2.5, -0.4, 80}, 3, std::nullopt)->summary(),
              "Flash test: 3/3 flips detected\n"
              "latency ms  min -3 | median 0 | p90 80 | max 80\n"
              "baseline 63 ms: OK\n"
              "HUD median: unavailable\n"
              "all: -3 0 80");
}

TEST(FlashTestPage, OpenCommandQuotesTheUrlForThePhonesShell) {
    const std::string prefix = "am start -a android.intent.action.VIEW -d '";
    const std::string fileURL = "file://" + std::string(FlashTestPage::devicePath);
    EXPECT_EQ(FlashTestPage::openCommand(fileURL),
              prefix + "file:///sdcard/Download/qm-flash.html'");
    EXPECT_EQ(FlashTestPage::openCommand(FlashTestPage::dataURL()),
              prefix + FlashTestPage::dataURL() + "'");
    EXPECT_EQ(FlashTestPage::openCommand("x';reboot;'"), prefix + "x'\\'';reboot;'\\'''");
}

}  // namespace
}  // namespace qm
