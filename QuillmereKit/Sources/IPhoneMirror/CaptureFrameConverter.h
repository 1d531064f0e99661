#pragma once

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

extern "C" {
#include <libavutil/pixfmt.h>
}

#include "VideoPipeline/DecodedFrame.h"
#include "VideoPipeline/PicturePool.h"

class QVideoFrame;
struct SwsContext;

namespace qm {

// Turns captured video frames into decoded frames the renderer draws: NV12 and YUV420P are
// copied as they are, other raw formats are converted to NV12, and anything else is dropped
// (each kind of drop logged once). Not thread-safe: one converting thread at a time. Steady
// capture allocates nothing per frame.
class CaptureFrameConverter {
public:
    // Larger than any capture device delivers.
    static constexpr int maxSide = 8192;

    // The planes of a mapped picture as the driver hands them over.
    struct Planes {
        int count = 0;
        std::array<const std::uint8_t*, 4> data{};
        std::array<int, 4> bytesPerLine{};
        std::array<int, 4> mappedBytes{};
    };

    CaptureFrameConverter();
    ~CaptureFrameConverter();
    CaptureFrameConverter(const CaptureFrameConverter&) = delete;
    CaptureFrameConverter& operator=(const CaptureFrameConverter&) = delete;

    // `frame` is mapped for reading while it is converted. ptsMicros is its start time (0 when
    // it has none), decodedAtNanos `arrivedAtNanos`.
    std::optional<DecodedFrame> convert(QVideoFrame& frame, std::uint64_t arrivedAtNanos);

    // Whether every plane a picture of that format and size needs is there, with rows long
    // enough and no row reaching past the mapped bytes.
    static bool holdsPicture(const Planes& planes, AVPixelFormat format, int width, int height);

private:
    enum class Drop { unmappable, compressed, unsupported, malformed, count };

    void dropped(Drop reason);

    struct SwsFree {
        void operator()(SwsContext* context) const noexcept;
    };

    PicturePool pictures_;
    std::unique_ptr<SwsContext, SwsFree> scaler_;
    std::bitset<static_cast<std::size_t>(Drop::count)> logged_;
};

}  // namespace qm
