#pragma once

#include "QuillmereCore/StreamTypes.h"
#include "QuillmereCore/VideoGeometry.h"
#include "VideoPipeline/UpscaleSettings.h"

namespace qm {

struct Viewport {
    // The video scaled to fit `size` with its aspect kept, centred, origin top-left; the zero
    // rectangle when either has no area.
    static RectF aspectFit(VideoSize video, SizeF size) noexcept;
};

// How one frame reaches its target: drawn straight into the fitted rectangle, or converted at
// its own size, enlarged and sharpened into a whole-pixel rectangle.
struct RenderPath {
    enum class Kind { direct, upscaled };

    Kind kind = Kind::direct;
    RectF fit;         // the aspect-fit rectangle in target pixels, top-left origin
    VideoSize output;  // upscaled: the enlarged size
    int outputX = 0;   // upscaled: top-left pixel of the enlarged picture
    int outputY = 0;

    // Upscaling only when asked for, supported, and the rounded fit is strictly larger than the
    // video in both dimensions.
    static RenderPath choose(VideoSize video, SizeF target, const UpscaleSettings& settings,
                             bool supported) noexcept;

    bool operator==(const RenderPath&) const = default;
};

}  // namespace qm
