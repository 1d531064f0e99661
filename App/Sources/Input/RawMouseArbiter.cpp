#include "Input/RawMouseArbiter.h"

#include <algorithm>

namespace qm {

void RawMouseArbiter::captureBegan() noexcept {
    mode = Mode::system;
    unmatchedCount = 0;
}

bool RawMouseArbiter::rawMoved(std::uint64_t /*now*/) noexcept {
    if (mode == Mode::fellBack) {
        return false;
    }
    mode = Mode::raw;
    unmatchedCount = 0;
    return true;
}

bool RawMouseArbiter::systemMoved(std::uint64_t now) noexcept {
    if (mode != Mode::raw) {
        return true;
    }
    const std::uint64_t cutoff = now > fallbackWindowNanos ? now - fallbackWindowNanos : 0;
    const auto first = unmatchedSystemMoves.begin();
    unmatchedCount = std::size_t(
        std::remove_if(first, first + unmatchedCount, [&](std::uint64_t t) { return t < cutoff; }) -
        first);
    unmatchedSystemMoves[unmatchedCount++] = now;
    if (unmatchedCount >= fallbackCount) {
        mode = Mode::fellBack;
        unmatchedCount = 0;
        return true;
    }
    return false;
}

}  // namespace qm
