#pragma once

#include <QColor>
#include <QImage>

#include "VideoPipeline/DecodedFrame.h"

namespace qm::test {

// What the conversion pass must give for pixel (x, y) of a picture drawn at its own size:
// luma at the texel, chroma filtered bilinearly from half resolution with the edges clamped,
// then the picture's range and matrix, in 0...255.
QColor referenceColor(const DecodedFrame& frame, int x, int y);

// The largest difference per channel (0...255) between `image`, the picture drawn at its own
// size, and the reference: where the chroma around a pixel is flat, so the texture unit's
// filtering cannot change it, and elsewhere.
struct ReferenceComparison {
    int flatChromaPixels = 0;
    int flatChromaDifference = 0;
    int filteredDifference = 0;
};
ReferenceComparison compareWithReference(const QImage& image, const DecodedFrame& frame);

// Pixels of `image` in rows [top, bottom) that are not opaque black.
int nonBlackPixels(const QImage& image, int top, int bottom);

}  // namespace qm::test
