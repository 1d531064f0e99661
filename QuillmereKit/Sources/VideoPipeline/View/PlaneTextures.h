#pragma once

extern "C" {
#include <libavutil/frame.h>
}

#include "VideoPipeline/View/GlObjects.h"

namespace qm {

// The decoded picture's planes as textures, uploaded straight from the decoder's memory and
// reused while the picture's size and layout stay: luma as R8, chroma as one RG8 plane (NV12)
// or two R8 planes (planar 4:2:0).
class PlaneTextures {
public:
    explicit PlaneTextures(Gl& gl);

    // False, with nothing uploaded, for a picture of a layout or size that cannot be drawn.
    bool upload(const AVFrame& frame);

    // Luma on unit 0, Cb readable as red on unit 1, Cr readable as green on unit 2.
    void bind() const;

private:
    bool allocate(int format, int width, int height);
    void uploadPlane(const GlTexture& texture, const std::uint8_t* data, int lineSize,
                     int bytesPerTexel, int width, int height);

    Gl& gl_;
    GLint maxTextureSize_ = 0;
    int format_ = -1;
    int width_ = 0;
    int height_ = 0;
    GlTexture luma_;
    GlTexture cb_;  // the interleaved pair for NV12
    GlTexture cr_;  // planar only
};

}  // namespace qm
