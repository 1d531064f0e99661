#pragma once

#include <array>

extern "C" {
#include <libavutil/pixfmt.h>
}

#include "VideoPipeline/PixelBuffer.h"

namespace qm {

// Y'CbCr to R'G'B' for one picture: a 3x3 matrix in column-major order, multiplied by the
// column (y, cb, cr) once y and the chroma pair are expanded to 0...1 and -0.5...0.5.
struct YCbCrMatrix {
    // From the luma weights of red and blue.
    constexpr YCbCrMatrix(float kr, float kb) noexcept {
        const float kg = 1.0f - kr - kb;
        columns = {{{1.0f, 1.0f, 1.0f},
                    {0.0f, -2.0f * kb * (1.0f - kb) / kg, 2.0f * (1.0f - kb)},
                    {2.0f * (1.0f - kr), -2.0f * kr * (1.0f - kr) / kg, 0.0f}}};
    }

    static const YCbCrMatrix bt709;
    static const YCbCrMatrix bt601;
    static const YCbCrMatrix bt2020;

    // The picture's tagged matrix: BT.601 (also for SMPTE 240M) and BT.2020 by name, BT.709
    // for every other tag and for none.
    static const YCbCrMatrix& forAttachment(AVColorSpace space) noexcept;
    static const YCbCrMatrix& forPixelBuffer(const PixelBuffer& buffer) noexcept;

    std::array<std::array<float, 3>, 3> columns{};

    bool operator==(const YCbCrMatrix&) const = default;
};

// How stored code values expand: value' = (value - offset) * scale, on 0...1 code values.
struct YCbCrRange {
    float lumaOffset = 0;
    float lumaScale = 1;
    float chromaOffset = 0;
    float chromaScale = 1;

    static const YCbCrRange video;  // 16...235 luma, 16...240 chroma
    static const YCbCrRange full;   // 0...255, chroma centred on 128
    static const YCbCrRange& forPixelBuffer(const PixelBuffer& buffer) noexcept;

    bool operator==(const YCbCrRange&) const = default;
};

}  // namespace qm
