#pragma once

#include <memory>
#include <optional>
#include <utility>

#include "QuillmereCore/StreamTypes.h"
#include "VideoPipeline/View/GlObjects.h"

namespace qm {

// Enlarges a converted picture to its place on screen with our own GPU pass. The pass's two
// textures are kept for one (input size, output size) pair and rebuilt when either changes.
class SpatialUpscaler {
public:
    struct Stage {
        VideoSize input;
        VideoSize output;
        GlTexture inputTexture;  // the conversion pass renders here
        GlFramebuffer inputFramebuffer;
        GlTexture outputTexture;  // the sharpening pass reads this
        GlFramebuffer outputFramebuffer;
    };

    // Throws VideoPipelineError when its program cannot be built.
    explicit SpatialUpscaler(Gl& gl);

    // The stage for this pair, or nothing when it cannot be made; a pair that failed is not
    // tried again until the sizes change.
    const Stage* stage(VideoSize input, VideoSize output);

    // Scales the stage's input into its output.
    void encode(const Stage& stage);

    int creations() const noexcept { return creations_; }

private:
    std::unique_ptr<Stage> build(VideoSize input, VideoSize output);

    Gl& gl_;
    GlProgram program_;
    GLint inputScale_ = -1;
    GLint maxTextureSize_ = 0;
    std::optional<std::pair<VideoSize, VideoSize>> key_;
    std::unique_ptr<Stage> stage_;
    int creations_ = 0;
};

}  // namespace qm
