#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

#include <gtest/gtest.h>

#include "Telemetry/ClockSync.h"
#include "Telemetry/FlashClock.h"
#include "Telemetry/PingSchedule.h"
#include "Telemetry/PtsClockBase.h"

namespace qm {
namespace {

using namespace std::chrono_literals;

constexpr std::int64_t int64Max = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t int64Min = std::numeric_limits<std::int64_t>::min();
constexpr std::uint64_t uint64Max = std::numeric_limits<std::uint64_t>::max();

TEST(ClockSync, TrustsTheShortestOfTheLastTenRoundTripsTheNewestAmongEquals) {
    ClockSync clock;
    EXPECT_EQ(clock.offsetNanos(), std::nullopt);
    EXPECT_EQ(clock.bestRTTNanos(), std::nullopt);
    EXPECT_EQ(clock.macNanos(0), std::nullopt);

    // Round trip 3, midpoint 1001.
    EXPECT_TRUE(clock.add({1000, 5000, 1003}));
    EXPECT_EQ(clock.offsetNanos(), 3999);
    EXPECT_EQ(clock.bestRTTNanos(), 3u);

    // A reply before its request and an offset out of range change nothing.
    EXPECT_FALSE(clock.add({2000, 1, 1999}));
    EXPECT_FALSE(clock.add({uint64Max - 1, int64Min, uint64Max}));
    EXPECT_EQ(clock.offsetNanos(), 3999);

    // Ten longer round trips push the best one out; then the newer of two equals wins.
    for (std::uint64_t i = 0; i < 9; ++i) {
        clock.add({10'000 + i * 100, 20'000, 10'050 + i * 100});
    }
    EXPECT_EQ(clock.offsetNanos(), 3999);
    EXPECT_TRUE(clock.add({50'000, 70'000, 50'050}));
    EXPECT_EQ(clock.bestRTTNanos(), 50u);
    EXPECT_EQ(clock.offsetNanos(), 70'000 - 50'025);

    // Phone times before the offset have no place on our clock.
    EXPECT_EQ(clock.macNanos(70'000), 50'025u);
    EXPECT_EQ(clock.macNanos(19'974), std::nullopt);
    ClockSync behind;
    behind.add({0, -10, 0});
    EXPECT_EQ(behind.macNanos(int64Max), std::nullopt) << "overflow";
}

TEST(PtsClockBase, FirstPtsWithinTenSecondsOfTheHelloIsOnThePhoneClock) {
    constexpr std::int64_t hello = 5'000'000'000'000;  // 5,000 s
    constexpr std::int64_t pts = 4'999'999'999;
    constexpr std::int64_t ptsNanos = pts * 1000;
    struct Case {
        std::int64_t firstPts;
        std::int64_t helloNanos;
        PtsClockBase base;
    };
    const std::vector<Case> cases = {
        {pts, ptsNanos - 9'999'999'999, PtsClockBase::phoneMonotonic()},
        {pts, ptsNanos - 10'000'000'000, PtsClockBase::relative(-10'000'000)},
        {pts, ptsNanos + 9'999'999'999, PtsClockBase::phoneMonotonic()},
        {pts, ptsNanos + 10'000'000'000, PtsClockBase::relative(10'000'000)},
        // Halving truncates toward zero below the clock's zero too.
        {-pts, -ptsNanos - 9'999'999'999, PtsClockBase::phoneMonotonic()},
        {-pts, -ptsNanos - 10'000'000'999, PtsClockBase::relative(-10'000'000)},
        {0, hello, PtsClockBase::relative(5'000'000'000)},
        // Nanoseconds of the PTS, or the distance, out of range.
        {int64Max / 999, 0, PtsClockBase::relative(-(int64Max / 999))},
        {int64Min / 1000, int64Max, PtsClockBase::relative(int64Max / 1000 - int64Min / 1000)},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(PtsClockBase::detect(cases[i].firstPts, cases[i].helloNanos), cases[i].base)
            << "case " << i;
    }
    const PtsClockBase relative = PtsClockBase::detect(0, hello);
    EXPECT_EQ(relative.phoneNanos(1000), 5'000'001'000'000);
    EXPECT_EQ(relative.description(), "relative(originPhoneMicros: 5000000000)");
    EXPECT_EQ(PtsClockBase::phoneMonotonic().phoneNanos(7), 7000);
    EXPECT_EQ(PtsClockBase::phoneMonotonic().description(), "phoneMonotonic");
    EXPECT_EQ(PtsClockBase::relative(int64Max).phoneNanos(2), 1000) << "wraps";
}

TEST(PingSchedule, FiveQuickPingsThenOneEveryTwoSeconds) {
    std::vector<std::chrono::milliseconds> at;
    std::chrono::milliseconds now{0};
    for (std::size_t i = 0; i < 8; ++i) {
        now += PingSchedule::delayBefore(i);
        at.push_back(now);
    }
    EXPECT_EQ(at, (std::vector<std::chrono::milliseconds>{0ms, 100ms, 200ms, 300ms, 400ms, 2500ms,
                                                          4500ms, 6500ms}));
}

TEST(FlashClock, NeedsAHandshakeAndAnOffset) {
    const ExtHello hello{2, 7'000'000, 1'700'000'000'123, 100, 104};
    ClockSync clock;
    EXPECT_EQ(FlashClock::from(hello, clock), std::nullopt);
    clock.add({hello.hostSendNanos, hello.phoneMonotonicNanos, hello.macReceiveNanos});
    EXPECT_EQ(FlashClock::from(std::nullopt, clock), std::nullopt);
    EXPECT_EQ(FlashClock::from(hello, clock),
              (FlashClock{{1'700'000'000'123, 7'000'000}, 7'000'000 - 102}));
}

}  // namespace
}  // namespace qm
