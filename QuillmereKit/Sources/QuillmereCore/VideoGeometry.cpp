#include "QuillmereCore/VideoGeometry.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace qm {

RectF RectF::standardized() const noexcept {
    RectF out = *this;
    if (out.width < 0) {
        out.x += out.width;
        out.width = -out.width;
    }
    if (out.height < 0) {
        out.y += out.height;
        out.height = -out.height;
    }
    return out;
}

namespace {

// Nearest pixel on an axis of `extent` pixels: halves away from zero, clamped to the axis.
std::int32_t pixelCoordinate(double value, int extent) noexcept {
    if (extent < 1 || std::isnan(value)) {
        return 0;
    }
    const double clamped = std::clamp(std::round(value), 0.0, static_cast<double>(extent - 1));
    return static_cast<std::int32_t>(clamped);
}

std::uint16_t screenExtent(int extent) noexcept {
    return static_cast<std::uint16_t>(std::clamp(extent, 0, 65535));
}

}  // namespace

std::optional<PointF> VideoGeometry::normalized(PointF viewPoint) const noexcept {
    const RectF& r = contentRect_;
    if (!(r.width > 0) || !(r.height > 0) || !std::isfinite(viewPoint.x) ||
        !std::isfinite(viewPoint.y)) {
        return std::nullopt;
    }
    const double nx = (viewPoint.x - r.x) / r.width;
    const double ny = (viewPoint.y - r.y) / r.height;
    if (nx >= 0 && nx <= 1 && ny >= 0 && ny <= 1) {
        return PointF{nx, ny};
    }
    return std::nullopt;
}

std::optional<DevicePosition> VideoGeometry::devicePositionForViewPoint(
    PointF viewPoint) const noexcept {
    if (auto n = normalized(viewPoint)) {
        return devicePositionForNormalized(*n);
    }
    return std::nullopt;
}

DevicePosition VideoGeometry::devicePositionForNormalized(PointF n) const noexcept {
    return devicePositionForPixel({n.x * videoSize_.width, n.y * videoSize_.height});
}

DevicePosition VideoGeometry::devicePositionForPixel(PointF pixel) const noexcept {
    return DevicePosition{pixelCoordinate(pixel.x, videoSize_.width),
                          pixelCoordinate(pixel.y, videoSize_.height),
                          screenExtent(videoSize_.width), screenExtent(videoSize_.height)};
}

}  // namespace qm
