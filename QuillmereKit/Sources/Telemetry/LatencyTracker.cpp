#include "Telemetry/LatencyTracker.h"

#include <fmt/format.h>

namespace qm {

namespace {

constexpr std::uint64_t blankAfterNanos = 1'000'000'000;

std::string figure(const std::optional<double>& millis) {
    // fmt ignores the C locale, which Qt sets from the environment.
    return millis ? fmt::format("{:.1f}", *millis) : "-1";
}

}  // namespace

bool LatencyTracker::presented(std::int64_t ptsMicros, std::uint64_t presentedNanos,
                               std::optional<std::int64_t> helloPhoneNanos, const ClockSync& clock,
                               std::optional<std::uint64_t> decodedNanos) {
    fpsCounter_.tick(presentedNanos);
    lastPresentedNanos_ = presentedNanos;
    if (!helloPhoneNanos) {
        return false;
    }
    const bool decided = !ptsBase_;
    if (decided) {
        ptsBase_ = PtsClockBase::detect(ptsMicros, *helloPhoneNanos);
    }
    const std::optional<std::int64_t> offset = clock.offsetNanos();
    if (ptsBase_->kind == PtsClockBase::Kind::relative || !offset) {
        return decided;
    }
    // A PTS past the clock's range, from a damaged stream, is skipped rather than wrapped
    // into a made-up latency.
    std::int64_t phoneNanos = 0;
    std::int64_t capture = 0;
    if (__builtin_mul_overflow(ptsMicros, 1000, &phoneNanos) ||
        __builtin_sub_overflow(phoneNanos, *offset, &capture) || capture < 0) {
        return decided;
    }
    const auto captureNanos = static_cast<std::uint64_t>(capture);
    meter_.record(captureNanos, presentedNanos);
    if (decodedNanos && captureNanos <= *decodedNanos && *decodedNanos <= presentedNanos) {
        phoneMeter_.record(presentedNanos - (*decodedNanos - captureNanos), presentedNanos);
        macMeter_.record(*decodedNanos, presentedNanos);
    }
    return decided;
}

TimingSnapshot LatencyTracker::snapshot(std::uint64_t nowNanos) const {
    if (!lastPresentedNanos_ || nowNanos < *lastPresentedNanos_ ||
        nowNanos - *lastPresentedNanos_ >= blankAfterNanos) {
        return {};
    }
    return {fpsCounter_.fps(), meter_.medianMillis(), phoneMeter_.medianMillis(),
            macMeter_.medianMillis()};
}

TimingPublication LatencyTracker::publication(bool channelUp, std::uint64_t nowNanos) const {
    if (!channelUp) {
        return {};
    }
    const TimingSnapshot s = snapshot(nowNanos);
    return {s.latencyMillis, s.phoneMillis, s.macMillis,
            fmt::format("latency: {} ms = phone {} + computer {}", figure(s.latencyMillis),
                        figure(s.phoneMillis), figure(s.macMillis))};
}

}  // namespace qm
