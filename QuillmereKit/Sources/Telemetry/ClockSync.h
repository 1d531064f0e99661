#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace qm {

// One request and reply over the extension channel: our host clock when the request left and
// when the reply came, and the phone's monotonic clock read in between. Nanoseconds.
struct ClockSample {
    std::uint64_t macSendNanos = 0;
    std::int64_t phoneNanos = 0;
    std::uint64_t macReceiveNanos = 0;

    // Meaningless for a reply that seems to come before its request; ClockSync refuses those.
    std::uint64_t rttNanos() const noexcept { return macReceiveNanos - macSendNanos; }
    // The phone's clock minus ours at the middle of the round trip; none when no 64-bit
    // value holds it.
    std::optional<std::int64_t> offsetNanos() const noexcept;

    bool operator==(const ClockSample&) const = default;
};

// The offset of the phone's monotonic clock from our host clock, from the last `window` round
// trips: the shortest one is trusted, the newest among equals. A value, owned and used on one
// thread.
class ClockSync {
public:
    explicit ClockSync(std::size_t window = 10);

    // False, and nothing kept, for a reply before its request or an offset out of range.
    bool add(const ClockSample& sample);

    std::optional<std::int64_t> offsetNanos() const;
    std::optional<std::uint64_t> bestRTTNanos() const;

    // A phone monotonic time on our clock; none without an offset, or before our clock's zero.
    std::optional<std::uint64_t> macNanos(std::int64_t phoneNanos) const;

private:
    const ClockSample* best() const;

    std::size_t window_;
    std::vector<ClockSample> samples_;  // oldest first
};

}  // namespace qm
