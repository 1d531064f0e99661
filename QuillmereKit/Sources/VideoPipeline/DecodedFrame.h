#pragma once

#include <cstdint>

#include "VideoPipeline/PixelBuffer.h"

namespace qm {

struct DecodedFrame {
    PixelBuffer pixelBuffer;
    std::int64_t ptsMicros = 0;        // the packet's time, 0 when it had none
    std::uint64_t decodedAtNanos = 0;  // HostClock when the decoder delivered it
};

}  // namespace qm
