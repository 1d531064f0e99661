#pragma once

#include <optional>

#include "QuillmereCore/ControlMessage.h"
#include "QuillmereCore/StreamTypes.h"

namespace qm {

struct PointF {
    double x = 0;
    double y = 0;
    bool operator==(const PointF&) const = default;
};

struct SizeF {
    double width = 0;
    double height = 0;
    bool operator==(const SizeF&) const = default;
};

struct RectF {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    // The same area with width and height not negative.
    RectF standardized() const noexcept;
    bool operator==(const RectF&) const = default;
};

// The video frame size and where the view draws it; maps view points, normalised positions
// and video pixels to positions on the phone's screen, clamped to the video.
// View y grows downwards over the picture, like the video's rows.
class VideoGeometry {
public:
    VideoGeometry(VideoSize videoSize, RectF contentRect)
        : videoSize_(videoSize), contentRect_(contentRect.standardized()) {}

    const VideoSize& videoSize() const noexcept { return videoSize_; }
    const RectF& contentRect() const noexcept { return contentRect_; }

    // Fractions 0 to 1 (edges included) within the content rectangle, or nothing outside it.
    std::optional<PointF> normalized(PointF viewPoint) const noexcept;
    std::optional<DevicePosition> devicePositionForViewPoint(PointF viewPoint) const noexcept;
    DevicePosition devicePositionForNormalized(PointF normalized) const noexcept;
    DevicePosition devicePositionForPixel(PointF pixel) const noexcept;

    bool operator==(const VideoGeometry&) const = default;

private:
    VideoSize videoSize_;
    RectF contentRect_;
};

}  // namespace qm
