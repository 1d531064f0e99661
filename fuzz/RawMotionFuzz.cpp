// Input: an X event as libxcb hands it over, with its second byte taken as the XInput opcode.
// A raw motion that parses lies within the bytes it claims, which are all it reads, and holds
// finite FP32.32 values.
#include <cmath>
#include <cstdint>
#include <span>

#include "FuzzCheck.h"
#include "Input/RawMotionEvent.h"

using qm::fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    const std::uint8_t opcode = size > 1 ? data[1] : 0;
    const auto motion = qm::RawMotionEvent::parse(bytes, opcode);
    if (!motion) {
        return 0;
    }
    check(size >= qm::RawMotionEvent::headerSize);
    const std::size_t claimed =
        qm::RawMotionEvent::claimedSize(bytes.first<qm::RawMotionEvent::headerSize>());
    check(claimed <= size);
    check(qm::RawMotionEvent::parse(bytes.first(claimed), opcode) == motion);
    for (const double value : {motion->dx, motion->dy}) {
        check(std::isfinite(value) && std::fabs(value) <= 2147483649.0);
    }
    return 0;
}
