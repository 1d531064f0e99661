#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace qm {

// Decides, motion by motion while the pointer is locked, whether raw deltas or the window
// system's deltas carry the motion. Raw deltas win once they arrive; if the system keeps
// reporting motion without them (a mouse XInput does not report), the lock falls back to the
// system's deltas until it ends. Times are host-clock nanoseconds. Pure.
struct RawMouseArbiter {
    enum class Mode {
        system,    // the lock has just begun: system deltas until a raw delta arrives
        raw,       // raw deltas carry the motion; system motions are dropped
        fellBack,  // raw deltas are ignored until the next lock
    };

    // Three unmatched system motions this close together mean raw deltas have stopped.
    static constexpr std::uint64_t fallbackWindowNanos = 200'000'000;
    static constexpr std::size_t fallbackCount = 3;

    Mode mode = Mode::system;
    // Times of system motions seen in raw mode since the last raw delta, oldest first.
    std::array<std::uint64_t, fallbackCount> unmatchedSystemMoves{};
    std::size_t unmatchedCount = 0;

    void captureBegan() noexcept;
    // Whether the raw delta is used.
    bool rawMoved(std::uint64_t now) noexcept;
    // Whether the system delta is used.
    bool systemMoved(std::uint64_t now) noexcept;
};

}  // namespace qm
