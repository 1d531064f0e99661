#include "Telemetry/PtsClockBase.h"

#include <fmt/format.h>

namespace qm {

namespace {

// Two's-complement arithmetic without signed overflow, which is undefined.
std::int64_t wrappingAdd(std::int64_t a, std::int64_t b) {
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) + static_cast<std::uint64_t>(b));
}

std::int64_t wrappingSub(std::int64_t a, std::int64_t b) {
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) - static_cast<std::uint64_t>(b));
}

std::int64_t wrappingTimes1000(std::int64_t a) {
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) * 1000u);
}

}  // namespace

PtsClockBase PtsClockBase::detect(std::int64_t firstPtsMicros,
                                  std::int64_t phoneMonotonicNanosAtHello) {
    const std::int64_t origin = wrappingSub(phoneMonotonicNanosAtHello / 1000, firstPtsMicros);
    std::int64_t ptsNanos = 0;
    std::int64_t distance = 0;
    if (__builtin_mul_overflow(firstPtsMicros, 1000, &ptsNanos) ||
        __builtin_sub_overflow(ptsNanos, phoneMonotonicNanosAtHello, &distance) ||
        distance > maxDistanceNanos || distance < -maxDistanceNanos) {
        return relative(origin);
    }
    return phoneMonotonic();
}

std::int64_t PtsClockBase::phoneNanos(std::int64_t ptsMicros) const {
    return wrappingTimes1000(kind == Kind::relative ? wrappingAdd(ptsMicros, originPhoneMicros)
                                                    : ptsMicros);
}

std::string PtsClockBase::description() const {
    return kind == Kind::relative
               ? fmt::format("relative(originPhoneMicros: {})", originPhoneMicros)
               : "phoneMonotonic";
}

}  // namespace qm
