#include "VideoPipeline/Viewport.h"

#include <cmath>

namespace qm {

RectF Viewport::aspectFit(VideoSize video, SizeF size) noexcept {
    if (video.width < 1 || video.height < 1 || !(size.width > 0) || !(size.height > 0)) {
        return {};
    }
    // The limiting side is taken exactly, so a picture that fills it starts at 0, not at -1e-14.
    double width = size.width;
    double height = video.height * size.width / video.width;
    if (height > size.height) {
        height = size.height;
        width = video.width * size.height / video.height;
    }
    return {(size.width - width) / 2, (size.height - height) / 2, width, height};
}

RenderPath RenderPath::choose(VideoSize video, SizeF target, const UpscaleSettings& settings,
                              bool supported) noexcept {
    RenderPath path;
    path.fit = Viewport::aspectFit(video, target);
    if (!settings.enabled || !supported) {
        return path;
    }
    // std::lround rounds halves away from zero.
    const long width = std::lround(path.fit.width);
    const long height = std::lround(path.fit.height);
    if (width <= video.width || height <= video.height) {
        return path;
    }
    path.kind = Kind::upscaled;
    path.output = {static_cast<int>(width), static_cast<int>(height)};
    path.outputX = static_cast<int>(std::floor(path.fit.x));
    path.outputY = static_cast<int>(std::floor(path.fit.y));
    return path;
}

}  // namespace qm
