#include <cstdint>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "Telemetry/FPSCounter.h"
#include "Telemetry/LatencyMeter.h"
#include "Telemetry/LatencyTracker.h"
#include "Telemetry/ThermalGuard.h"

namespace qm {
namespace {

constexpr std::uint64_t ms(double millis) {
    return static_cast<std::uint64_t>(millis * 1e6);
}

TEST(LatencyMeter, MedianOfTheLastSecond) {
    struct Case {
        std::vector<std::pair<double, double>> latencyAndPresentedMillis;
        std::optional<double> median;
    };
    const std::vector<Case> cases = {
        {{{10, 10'000}, {20, 10'001}, {30, 10'002}, {40, 10'003}}, 25.0},
        {{{30, 10'000}, {10, 10'001}, {20, 10'002}}, 20.0},
        {{}, std::nullopt},
        {{{-1, 10'000}}, std::nullopt},  // presented before its capture
        // An entry exactly a second older than the newest stays; one a nanosecond older goes.
        {{{100, 10'000}, {1, 10'500}, {2, 11'000}}, 2.0},
        {{{100, 10'000}, {1, 10'500}, {2, 11'000}, {3, 11'000.000001}}, 2.0},
        {{{100, 10'000}, {1, 10'500}, {2, 11'000}, {3, 11'000}}, 2.5},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        LatencyMeter meter;
        for (const auto& [latency, presented] : cases[i].latencyAndPresentedMillis) {
            meter.record(ms(presented - latency), ms(presented));
        }
        EXPECT_EQ(meter.medianMillis(), cases[i].median) << "case " << i;
    }
}

TEST(FPSCounter, CountsTheLastSecondIncludingTheCurrentFrame) {
    FPSCounter counter;
    counter.tick(ms(200));
    counter.tick(ms(400));
    EXPECT_EQ(counter.fps(), 2.0);
    for (const double at : {10'000.0, 10'500.0, 11'000.0, 11'600.0}) {
        counter.tick(ms(at));
    }
    EXPECT_EQ(counter.fps(), 2.0);
}

TEST(LatencyTracker, SplitsCaptureToScreenAtTheDecoderWhileThePtsAreOnThePhoneClock) {
    // The phone's clock is 5,000 s ahead of ours.
    constexpr std::int64_t offset = 5'000'000'000'000;
    ClockSync clock;
    clock.add({0, offset + 50, 100});
    const std::int64_t hello = offset + 50;
    const auto pts = [&](double captureMillis) {
        return static_cast<std::int64_t>((offset + static_cast<std::int64_t>(ms(captureMillis))) /
                                         1000);
    };

    LatencyTracker tracker;
    EXPECT_TRUE(tracker.presented(pts(20), ms(60), hello, clock, ms(30)));
    EXPECT_EQ(tracker.ptsBase(), PtsClockBase::phoneMonotonic());
    // A decoder time before the capture counts for the total only.
    EXPECT_FALSE(tracker.presented(pts(37), ms(80), hello, clock, ms(20)));
    // A PTS whose nanoseconds overflow, or a capture before our clock's zero: frames only.
    tracker.presented(std::numeric_limits<std::int64_t>::max() / 999, ms(81), hello, clock,
                      std::nullopt);
    tracker.presented(pts(0) - 10, ms(82), hello, clock, std::nullopt);

    EXPECT_EQ(tracker.snapshot(ms(90)), (TimingSnapshot{4, 41.5, 10.0, 30.0}));
    EXPECT_EQ(
        tracker.publication(true, ms(90)),
        (TimingPublication{41.5, 10.0, 30.0, "latency: 41.5 ms = phone 10.0 + computer 30.0"}));
    EXPECT_EQ(tracker.publication(false, ms(90)), TimingPublication{});
    // Blank a second after the last frame, and for a clock behind it.
    EXPECT_EQ(tracker.snapshot(ms(1082)), TimingSnapshot{});
    EXPECT_EQ(tracker.snapshot(ms(81)), TimingSnapshot{});
    EXPECT_EQ(tracker.publication(true, ms(1082)).line, "latency: -1 ms = phone -1 + computer -1");
    EXPECT_NE(tracker.snapshot(ms(1081.9)), TimingSnapshot{});
}

TEST(LatencyTracker, CountsFramesOnlyWithoutHandshakeOffsetOrPhoneClock) {
    ClockSync clock;
    clock.add({0, 1'000'000, 0});
    const std::int64_t hello = 5'000'000'000'000;
    struct Case {
        std::optional<std::int64_t> hello;
        ClockSync clock;
        std::int64_t firstPts;
        std::optional<PtsClockBase> base;
    };
    const std::vector<Case> cases = {
        {std::nullopt, clock, hello / 1000, std::nullopt},
        {hello, ClockSync(), hello / 1000, PtsClockBase::phoneMonotonic()},
        {hello, clock, 0, PtsClockBase::relative(hello / 1000)},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        LatencyTracker tracker;
        EXPECT_EQ(tracker.presented(cases[i].firstPts, ms(10'000), cases[i].hello, cases[i].clock,
                                    ms(9'999)),
                  cases[i].base.has_value())
            << "case " << i;
        tracker.presented(cases[i].firstPts + 16'667, ms(10'016), cases[i].hello, cases[i].clock,
                          std::nullopt);
        EXPECT_EQ(tracker.ptsBase(), cases[i].base) << "case " << i;
        EXPECT_EQ(tracker.snapshot(ms(10'020)), (TimingSnapshot{2, {}, {}, {}})) << "case " << i;
    }
}

TEST(ThermalGuard, WarnsOncePerEpisode) {
    ThermalGuard guard(2);
    std::vector<ThermalGuard::Advice> advice;
    for (const int status : {1, 2, 3, 2, 1, 2}) {
        advice.push_back(guard.update(status));
    }
    EXPECT_EQ(advice, (std::vector<ThermalGuard::Advice>{std::nullopt, ThermalGuard::Warn{2},
                                                         std::nullopt, std::nullopt, std::nullopt,
                                                         ThermalGuard::Warn{2}}));
}

}  // namespace
}  // namespace qm
