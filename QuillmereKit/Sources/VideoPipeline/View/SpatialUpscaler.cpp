#include "VideoPipeline/View/SpatialUpscaler.h"

#include "QuillmereCore/Log.h"
#include "VideoPipeline/View/VideoShaders.h"

namespace qm {

namespace {

GlFramebuffer framebufferFor(Gl& gl, const GlTexture& texture) {
    GlFramebuffer framebuffer = makeFramebuffer(gl);
    gl.glBindFramebuffer(GL_FRAMEBUFFER, framebuffer.id());
    gl.glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture.id(), 0);
    const bool complete = gl.glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    gl.glBindFramebuffer(GL_FRAMEBUFFER, 0);
    return complete ? std::move(framebuffer) : GlFramebuffer{};
}

}  // namespace

SpatialUpscaler::SpatialUpscaler(Gl& gl)
    : gl_(gl), program_(VideoShaders::build(gl, VideoShaders::upscale)) {
    inputScale_ = gl_.glGetUniformLocation(program_.id(), "inputScale");
    gl_.glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTextureSize_);
}

const SpatialUpscaler::Stage* SpatialUpscaler::stage(VideoSize input, VideoSize output) {
    const std::pair key{input, output};
    if (key_ == key) {
        return stage_.get();
    }
    key_ = key;
    stage_.reset();
    stage_ = build(input, output);
    return stage_.get();
}

std::unique_ptr<SpatialUpscaler::Stage> SpatialUpscaler::build(VideoSize input, VideoSize output) {
    const auto fits = [this](VideoSize size) {
        return size.width >= 1 && size.height >= 1 && size.width <= maxTextureSize_ &&
               size.height <= maxTextureSize_;
    };
    if (!fits(input) || !fits(output)) {
        Log::video().error("GPU upscaling refused {}x{} → {}x{}", input.width, input.height,
                           output.width, output.height);
        return nullptr;
    }
    ++creations_;
    auto stage = std::make_unique<Stage>();
    stage->input = input;
    stage->output = output;
    while (gl_.glGetError() != GL_NO_ERROR) {
    }
    stage->inputTexture = makeTexture(gl_, GL_RGBA8, GL_RGBA, input.width, input.height);
    stage->outputTexture = makeTexture(gl_, GL_RGBA8, GL_RGBA, output.width, output.height);
    if (gl_.glGetError() != GL_NO_ERROR) {
        return nullptr;
    }
    stage->inputFramebuffer = framebufferFor(gl_, stage->inputTexture);
    stage->outputFramebuffer = framebufferFor(gl_, stage->outputTexture);
    if (!stage->inputFramebuffer || !stage->outputFramebuffer) {
        return nullptr;
    }
    return stage;
}

void SpatialUpscaler::encode(const Stage& stage) {
    gl_.glBindFramebuffer(GL_FRAMEBUFFER, stage.outputFramebuffer.id());
    gl_.glViewport(0, 0, stage.output.width, stage.output.height);
    gl_.glUseProgram(program_.id());
    gl_.glUniform2f(inputScale_, float(stage.input.width) / float(stage.output.width),
                    float(stage.input.height) / float(stage.output.height));
    gl_.glActiveTexture(GL_TEXTURE0);
    gl_.glBindTexture(GL_TEXTURE_2D, stage.inputTexture.id());
    gl_.glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
}

}  // namespace qm
