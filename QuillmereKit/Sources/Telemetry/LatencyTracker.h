#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "Telemetry/ClockSync.h"
#include "Telemetry/FPSCounter.h"
#include "Telemetry/LatencyMeter.h"
#include "Telemetry/PtsClockBase.h"

namespace qm {

// The figures of the last second. Latencies are medians in milliseconds: capture on the phone
// to presentation here, split at our decoder's output.
struct TimingSnapshot {
    double fps = 0;
    std::optional<double> latencyMillis;
    std::optional<double> phoneMillis;
    std::optional<double> macMillis;

    bool operator==(const TimingSnapshot&) const = default;
};

// What the session publishes each second.
struct TimingPublication {
    std::optional<double> latencyMillis;
    std::optional<double> phoneMillis;
    std::optional<double> macMillis;
    // "latency: 41.2 ms = phone 20.1 + computer 21.1", a missing figure as -1; none while the
    // extension channel is down.
    std::optional<std::string> line;

    bool operator==(const TimingPublication&) const = default;
};

// Latency and frame rate of one stream, fed every presented frame. Without a handshake, with
// presentation times not on the phone's clock, or without a clock offset it only counts frames.
// A value of the session's main thread; reset with every handshake.
class LatencyTracker {
public:
    // Returns true when this frame decided the stream's PTS clock base (the first after a
    // handshake), so that the caller logs it once.
    bool presented(std::int64_t ptsMicros, std::uint64_t presentedNanos,
                   std::optional<std::int64_t> helloPhoneNanos, const ClockSync& clock,
                   std::optional<std::uint64_t> decodedNanos);

    // Blank latencies one second after the last frame, or before any.
    TimingSnapshot snapshot(std::uint64_t nowNanos) const;
    TimingPublication publication(bool channelUp, std::uint64_t nowNanos) const;

    const std::optional<PtsClockBase>& ptsBase() const { return ptsBase_; }

private:
    std::optional<PtsClockBase> ptsBase_;
    LatencyMeter meter_;       // capture to presentation
    LatencyMeter phoneMeter_;  // capture to decoder output
    LatencyMeter macMeter_;    // decoder output to presentation
    FPSCounter fpsCounter_;
    std::optional<std::uint64_t> lastPresentedNanos_;
};

}  // namespace qm
