#pragma once

#include <QImage>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <cstdint>
#include <functional>
#include <memory>

#include "VideoPipeline/DecodedFrame.h"
#include "VideoPipeline/GPUTimeWindow.h"
#include "VideoPipeline/UpscaleSettings.h"
#include "VideoPipeline/View/VideoLayer.h"

namespace qm {

// A texture of the shared OpenGL group that a frame can be drawn into.
struct TextureTarget {
    GLuint texture = 0;
    int width = 0;
    int height = 0;
};

// Draws decoded frames with OpenGL 3.3 on a context of its own that shares with Qt Quick's:
// colour conversion into the aspect-fitted rectangle (bilinear or bicubic), or, when
// upscaling is on and the picture is smaller than its place, conversion at its own size,
// spatial upscaling and contrast-adaptive sharpening. Bars around the picture are black.
// On a software rasterizer (what a virtual machine has) the filters cost the CPU several times
// a frame's budget: there it draws the plain path, bilinear, whatever the settings.
//
// Created on the GUI thread (Qt makes offscreen surfaces there); then used from one thread at
// a time, the thread that first draws with it, and released there too.
class VideoRenderer {
public:
    using PresentedHandler = std::function<void(std::uint64_t)>;

    // Which passes a renderer draws with.
    enum class Passes {
        detect,     // all, unless the OpenGL here is a software rasterizer
        all,        // as the settings say
        plainOnly,  // the plain path with the bilinear filter
    };

    // Whether renderers can be made here (contexts shared with Qt Quick, OpenGL 3.3) on
    // graphics that are no software rasterizer, and so whether the upscaling pass is available.
    // GUI thread, once Qt Quick's shared context exists.
    static bool isUpscalingSupported();
    // Whether Qt Quick's shared context draws in software: llvmpipe, softpipe or swrast.
    // GUI thread; asked once.
    static bool isSoftwareRasterizer();

    // Throws VideoPipelineError when there is no shared OpenGL 3.3 context or a program fails.
    explicit VideoRenderer(std::shared_ptr<RenderSettings> settings,
                           Passes passes = Passes::detect);
    ~VideoRenderer();
    VideoRenderer(const VideoRenderer&) = delete;
    VideoRenderer& operator=(const VideoRenderer&) = delete;

    // Draws into the layer's next drawable and presents it; `onPresented` gets the host-clock
    // time the frame reached the screen, from Qt Quick's render thread, or never when it did
    // not. Frames that cannot be drawn are skipped.
    void render(const DecodedFrame& frame, VideoLayer& layer, PresentedHandler onPresented);

    // The same drawing into a caller's texture; whether anything was drawn.
    bool encode(const DecodedFrame& frame, TextureTarget into);

    // Targets and read-back, for frames drawn off screen.
    TextureTarget makeTarget(int width, int height);
    void releaseTarget(TextureTarget& target);
    QImage readImage(TextureTarget target);  // RGBA, top row first
    // Blocks until everything drawn so far is done.
    void finish();

    int upscalerCreations() const;

private:
    struct Gpu;
    struct Encoded {
        bool drawn = false;
        bool upscaled = false;
    };

    bool makeCurrent();
    Encoded encodeFrame(const DecodedFrame& frame, GLuint texture, int width, int height);
    void collectGpuTimes();

    struct SurfaceRelease {
        void operator()(QOffscreenSurface* surface) const;
    };

    std::shared_ptr<RenderSettings> settings_;
    bool plainOnly_ = false;
    std::unique_ptr<QOffscreenSurface, SurfaceRelease> surface_;
    std::unique_ptr<QOpenGLContext> context_;
    std::unique_ptr<Gpu> gpu_;  // lives with the context current
    GPUTimeWindow gpuTimes_{120};
};

}  // namespace qm
