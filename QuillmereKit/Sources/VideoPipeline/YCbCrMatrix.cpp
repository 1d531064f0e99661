#include "VideoPipeline/YCbCrMatrix.h"

extern "C" {
#include <libavutil/frame.h>
}

namespace qm {

const YCbCrMatrix YCbCrMatrix::bt709{0.2126f, 0.0722f};
const YCbCrMatrix YCbCrMatrix::bt601{0.299f, 0.114f};
const YCbCrMatrix YCbCrMatrix::bt2020{0.2627f, 0.0593f};

const YCbCrMatrix& YCbCrMatrix::forAttachment(AVColorSpace space) noexcept {
    switch (space) {
        case AVCOL_SPC_BT470BG:
        case AVCOL_SPC_SMPTE170M:
        case AVCOL_SPC_SMPTE240M:
            return bt601;
        case AVCOL_SPC_BT2020_NCL:
        case AVCOL_SPC_BT2020_CL:
            return bt2020;
        default:
            return bt709;
    }
}

const YCbCrMatrix& YCbCrMatrix::forPixelBuffer(const PixelBuffer& buffer) noexcept {
    const AVFrame* frame = buffer.frame();
    return frame ? forAttachment(frame->colorspace) : bt709;
}

const YCbCrRange YCbCrRange::video{16.0f / 255, 255.0f / 219, 128.0f / 255, 255.0f / 224};
const YCbCrRange YCbCrRange::full{0.0f, 1.0f, 128.0f / 255, 1.0f};

const YCbCrRange& YCbCrRange::forPixelBuffer(const PixelBuffer& buffer) noexcept {
    const AVFrame* frame = buffer.frame();
    const bool fullRange =
        frame && (frame->color_range == AVCOL_RANGE_JPEG || frame->format == AV_PIX_FMT_YUVJ420P);
    return fullRange ? YCbCrRange::full : YCbCrRange::video;
}

}  // namespace qm
