#pragma once

#include <array>

extern "C" {
#include <libavutil/frame.h>
}

#include "VideoPipeline/View/GlObjects.h"

namespace qm {

// The decoded picture's planes as textures, uploaded straight from the decoder's memory: luma
// as R8, chroma as one RG8 plane (NV12) or two R8 planes (planar 4:2:0).
//
// Uploads rotate through three sets of textures, reused while their picture's size and layout
// stay, so that an upload never writes textures an earlier draw still in flight reads: many
// drivers would stall the upload until the GPU is done with them.
class PlaneTextures {
public:
    explicit PlaneTextures(Gl& gl);

    // Into the next set; false, with nothing uploaded, for a picture of a layout or size that
    // cannot be drawn.
    bool upload(const AVFrame& frame);

    // The set of the last upload: luma on unit 0, Cb readable as red on unit 1, Cr readable as
    // green on unit 2.
    void bind() const;

private:
    static constexpr std::size_t setCount = 3;

    struct Set {
        int format = -1;
        int width = 0;
        int height = 0;
        GlTexture luma;
        GlTexture cb;  // the interleaved pair for NV12
        GlTexture cr;  // planar only
    };

    bool allocate(Set& set, int format, int width, int height);
    void uploadPlane(const GlTexture& texture, const std::uint8_t* data, int lineSize,
                     int bytesPerTexel, int width, int height);

    Gl& gl_;
    GLint maxTextureSize_ = 0;
    std::array<Set, setCount> sets_;
    std::size_t current_ = 0;
};

}  // namespace qm
