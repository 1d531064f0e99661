#include "ColorReference.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

#include "VideoPipeline/YCbCrMatrix.h"

namespace qm::test {

namespace {

double chromaSample(const AVFrame& frame, int plane, int component, int x, int y) {
    const bool nv12 = frame.format == AV_PIX_FMT_NV12;
    const int width = (frame.width + 1) / 2;
    const int height = (frame.height + 1) / 2;
    x = std::clamp(x, 0, width - 1);
    y = std::clamp(y, 0, height - 1);
    const std::uint8_t* row = frame.data[nv12 ? 1 : plane] + y * frame.linesize[nv12 ? 1 : plane];
    return row[nv12 ? 2 * x + component : x] / 255.0;
}

double bilinearChroma(const AVFrame& frame, int plane, int component, int x, int y) {
    const int chromaWidth = (frame.width + 1) / 2;
    const int chromaHeight = (frame.height + 1) / 2;
    const double u = (x + 0.5) / frame.width * chromaWidth - 0.5;
    const double v = (y + 0.5) / frame.height * chromaHeight - 0.5;
    const int x0 = int(std::floor(u));
    const int y0 = int(std::floor(v));
    const double fx = u - x0;
    const double fy = v - y0;
    const auto at = [&](int dx, int dy) {
        return chromaSample(frame, plane, component, x0 + dx, y0 + dy);
    };
    return (at(0, 0) * (1 - fx) + at(1, 0) * fx) * (1 - fy) +
           (at(0, 1) * (1 - fx) + at(1, 1) * fx) * fy;
}

}  // namespace

namespace {

// The picture's conversion of luma and two chroma values, in 0...255.
std::array<int, 3> convert(const DecodedFrame& decoded, double luma, double cb, double cr) {
    const YCbCrMatrix& m = YCbCrMatrix::forPixelBuffer(decoded.pixelBuffer);
    const YCbCrRange& r = YCbCrRange::forPixelBuffer(decoded.pixelBuffer);
    const double y = (luma - r.lumaOffset) * r.lumaScale;
    cb = (cb - r.chromaOffset) * r.chromaScale;
    cr = (cr - r.chromaOffset) * r.chromaScale;
    std::array<int, 3> channels{};
    for (std::size_t row = 0; row < 3; ++row) {
        const double value =
            m.columns[0][row] * y + m.columns[1][row] * cb + m.columns[2][row] * cr;
        channels[row] = int(std::lround(std::clamp(value, 0.0, 1.0) * 255));
    }
    return channels;
}

double lumaAt(const AVFrame& frame, int x, int y) {
    return frame.data[0][y * frame.linesize[0] + x] / 255.0;
}

}  // namespace

QColor referenceColor(const DecodedFrame& decoded, int x, int y) {
    const AVFrame& frame = *decoded.pixelBuffer.frame();
    const auto rgb = convert(decoded, lumaAt(frame, x, y), bilinearChroma(frame, 1, 0, x, y),
                             bilinearChroma(frame, 2, 1, x, y));
    return QColor(rgb[0], rgb[1], rgb[2]);
}

ReferenceComparison compareWithReference(const QImage& image, const DecodedFrame& decoded) {
    const AVFrame& frame = *decoded.pixelBuffer.frame();
    ReferenceComparison result;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor expected = referenceColor(decoded, x, y);
            const QColor actual = image.pixelColor(x, y);
            const int difference = std::max({std::abs(expected.red() - actual.red()),
                                             std::abs(expected.green() - actual.green()),
                                             std::abs(expected.blue() - actual.blue())});
            // Where the chroma around the pixel is flat, filtering cannot change it and the
            // pixel shows the conversion alone.
            const int cx = int(std::floor((x + 0.5) / 2 - 0.5));
            const int cy = int(std::floor((y + 0.5) / 2 - 0.5));
            bool flat = true;
            for (int plane = 1; plane <= 2; ++plane) {
                const double first = chromaSample(frame, plane, plane - 1, cx, cy);
                for (int dy = 0; dy <= 1; ++dy) {
                    for (int dx = 0; dx <= 1; ++dx) {
                        flat = flat &&
                               chromaSample(frame, plane, plane - 1, cx + dx, cy + dy) == first;
                    }
                }
            }
            if (flat) {
                ++result.flatChromaPixels;
                result.flatChromaDifference = std::max(result.flatChromaDifference, difference);
            } else {
                result.filteredDifference = std::max(result.filteredDifference, difference);
            }
        }
    }
    return result;
}

int nonBlackPixels(const QImage& image, int top, int bottom) {
    int count = 0;
    for (int y = top; y < bottom; ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) != qRgba(0, 0, 0, 255)) {
                ++count;
            }
        }
    }
    return count;
}

}  // namespace qm::test
