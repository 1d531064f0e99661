#include "VideoPipeline/View/VideoRenderer.h"

#include <QCoreApplication>
#include <QOpenGLFunctions>
#include <QOpenGLVersionFunctionsFactory>
#include <QThread>
#include <array>
#include <cstdint>
#include <string_view>
#include <utility>

#include "QuillmereCore/HostClock.h"
#include "QuillmereCore/Log.h"
#include "VideoPipeline/VideoPipelineError.h"
#include "VideoPipeline/View/GlObjects.h"
#include "VideoPipeline/View/PlaneTextures.h"
#include "VideoPipeline/View/SpatialUpscaler.h"
#include "VideoPipeline/View/VideoShaders.h"
#include "VideoPipeline/Viewport.h"
#include "VideoPipeline/YCbCrMatrix.h"

namespace qm {

namespace {

// `renderer` is the driver's GL_RENDERER string, null when it has none.
bool namesSoftwareRasterizer(const GLubyte* renderer) {
    const std::string_view named = renderer ? reinterpret_cast<const char*>(renderer) : "";
    for (const std::string_view name : {"llvmpipe", "softpipe", "Software Rasterizer"}) {
        if (named.find(name) != std::string_view::npos) {
            return true;
        }
    }
    return false;
}

QSurfaceFormat renderFormat() {
    QSurfaceFormat format = QSurfaceFormat::defaultFormat();
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setVersion(3, 3);
    format.setProfile(QSurfaceFormat::CoreProfile);
    return format;
}

struct ConversionProgram {
    ConversionProgram(Gl& gl, ShaderProgramSpec spec)
        : program(VideoShaders::build(gl, spec)),
          clipRect(gl.glGetUniformLocation(program.id(), "clipRect")),
          colorMatrix(gl.glGetUniformLocation(program.id(), "colorMatrix")),
          range(gl.glGetUniformLocation(program.id(), "range")) {}

    GlProgram program;
    GLint clipRect;
    GLint colorMatrix;
    GLint range;
};

struct SharpenProgram {
    explicit SharpenProgram(Gl& gl)
        : program(VideoShaders::build(gl, VideoShaders::sharpen)),
          origin(gl.glGetUniformLocation(program.id(), "origin")),
          sharpness(gl.glGetUniformLocation(program.id(), "sharpness")) {}

    GlProgram program;
    GLint origin;
    GLint sharpness;
};

// GPU time of a frame is read a few frames later, so the render thread never waits for it.
constexpr std::size_t timerQueries = 4;

}  // namespace

struct VideoRenderer::Gpu {
    explicit Gpu(Gl& functions)
        : gl(functions),
          pipeline(gl, VideoShaders::nv12),
          bicubicPipeline(gl, VideoShaders::nv12Bicubic),
          sharpenPipeline(gl),
          planes(gl),
          upscaler(gl) {
        GLuint id = 0;
        gl.glGenVertexArrays(1, &id);
        vertexArray = GlVertexArray(gl, id);
        gl.glBindVertexArray(id);  // every pass draws a strip with no attributes
        targetFramebuffer = makeFramebuffer(gl);
        for (GlQuery& query : queries) {
            gl.glGenQueries(1, &id);
            query = GlQuery(gl, id);
        }
    }

    Gl& gl;
    ConversionProgram pipeline;
    ConversionProgram bicubicPipeline;
    SharpenProgram sharpenPipeline;
    PlaneTextures planes;
    SpatialUpscaler upscaler;
    GlVertexArray vertexArray;
    GlFramebuffer targetFramebuffer;
    std::array<GlQuery, timerQueries> queries;
    std::array<bool, timerQueries> pending{};
    std::array<bool, timerQueries> upscaled{};
    std::array<std::uint64_t, timerQueries> beganNanos{};
    std::size_t oldest = 0;
    std::size_t next = 0;

    // Binds `texture` as the colour target; false when it cannot be drawn into.
    bool bindTarget(GLuint texture) {
        gl.glBindFramebuffer(GL_FRAMEBUFFER, targetFramebuffer.id());
        gl.glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
        return gl.glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    }

    void clearBlack(int width, int height) {
        gl.glViewport(0, 0, width, height);
        gl.glClearColor(0, 0, 0, 1);
        gl.glClear(GL_COLOR_BUFFER_BIT);
    }

    // Converts the uploaded planes into `rect` (clip space: left, bottom, right, top).
    void convert(const ConversionProgram& program, const YCbCrMatrix& matrix,
                 const YCbCrRange& range, const std::array<float, 4>& rect) {
        gl.glUseProgram(program.program.id());
        gl.glUniformMatrix3fv(program.colorMatrix, 1, GL_FALSE, matrix.columns[0].data());
        gl.glUniform4f(program.range, range.lumaOffset, range.lumaScale, range.chromaOffset,
                       range.chromaScale);
        gl.glUniform4f(program.clipRect, rect[0], rect[1], rect[2], rect[3]);
        planes.bind();
        gl.glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    }
};

bool VideoRenderer::isUpscalingSupported() {
    const QOpenGLContext* shared = QOpenGLContext::globalShareContext();
    return shared && shared->format().version() >= std::pair(3, 3) && !isSoftwareRasterizer();
}

bool VideoRenderer::isSoftwareRasterizer() {
    static const bool software = [] {
        // A context of the shared group, made current here for the question and let go.
        QOpenGLContext* previous = QOpenGLContext::currentContext();
        QSurface* previousSurface = previous ? previous->surface() : nullptr;
        QOffscreenSurface surface;
        surface.setFormat(renderFormat());
        surface.create();
        QOpenGLContext context;
        context.setFormat(renderFormat());
        context.setShareContext(QOpenGLContext::globalShareContext());
        bool drawsInSoftware = false;
        if (context.create() && context.makeCurrent(&surface)) {
            drawsInSoftware =
                namesSoftwareRasterizer(context.functions()->glGetString(GL_RENDERER));
            context.doneCurrent();
        }
        if (previous) {
            previous->makeCurrent(previousSurface);
        }
        return drawsInSoftware;
    }();
    return software;
}

VideoRenderer::VideoRenderer(std::shared_ptr<RenderSettings> settings, Passes passes)
    : settings_(std::move(settings)) {
    QOpenGLContext* shared = QOpenGLContext::globalShareContext();
    if (!shared) {
        throw VideoPipelineError::renderer("no shared OpenGL context");
    }
    if (!QCoreApplication::instance() ||
        QThread::currentThread() != QCoreApplication::instance()->thread()) {
        throw VideoPipelineError::renderer("renderer created off the GUI thread");
    }
    surface_.reset(std::make_unique<QOffscreenSurface>().release());
    surface_->setFormat(renderFormat());
    surface_->create();
    if (!surface_->isValid()) {
        throw VideoPipelineError::renderer("no offscreen surface");
    }
    context_ = std::make_unique<QOpenGLContext>();
    context_->setFormat(renderFormat());
    context_->setShareContext(shared);
    if (!context_->create() || context_->shareContext() != shared) {
        throw VideoPipelineError::renderer("no shared OpenGL context");
    }
    if (context_->format().version() < std::pair(3, 3)) {
        throw VideoPipelineError::renderer("no OpenGL 3.3");
    }
    if (!context_->makeCurrent(surface_.get())) {
        throw VideoPipelineError::renderer("OpenGL context cannot be made current");
    }
    Gl* functions = QOpenGLVersionFunctionsFactory::get<Gl>(context_.get());
    if (!functions || !functions->initializeOpenGLFunctions()) {
        context_->doneCurrent();
        throw VideoPipelineError::renderer("no OpenGL 3.3 core functions");
    }
    if (passes == Passes::detect) {
        plainOnly_ = namesSoftwareRasterizer(functions->glGetString(GL_RENDERER));
    } else {
        plainOnly_ = passes == Passes::plainOnly;
    }
    try {
        gpu_ = std::make_unique<Gpu>(*functions);
    } catch (...) {
        context_->doneCurrent();
        throw;
    }
    // Free of any thread until the first draw adopts it.
    context_->doneCurrent();
    context_->moveToThread(nullptr);
}

VideoRenderer::~VideoRenderer() {
    if (makeCurrent()) {
        gpu_.reset();
        context_->doneCurrent();
    } else {
        Log::video().debug(
            "renderer released off its drawing thread; its GL objects stay with "
            "the shared group");
        gpu_.reset();  // names are deleted only with their own context current
    }
}

void VideoRenderer::SurfaceRelease::operator()(QOffscreenSurface* surface) const {
    std::unique_ptr<QOffscreenSurface> owned(surface);
    // Offscreen surfaces go on the thread that made them.
    if (QThread::currentThread() != owned->thread()) {
        owned.release()->deleteLater();
    }
}

bool VideoRenderer::makeCurrent() {
    if (QOpenGLContext::currentContext() == context_.get()) {
        return true;
    }
    if (!context_->thread()) {
        context_->moveToThread(QThread::currentThread());
    }
    if (context_->thread() != QThread::currentThread()) {
        return false;
    }
    return context_->makeCurrent(surface_.get());
}

void VideoRenderer::render(const DecodedFrame& frame, VideoLayer& layer,
                           PresentedHandler onPresented) {
    if (!makeCurrent()) {
        return;
    }
    std::optional<VideoLayer::Drawable> drawable = layer.nextDrawable();
    if (!drawable) {
        return;
    }
    const Encoded encoded =
        encodeFrame(frame, drawable->texture, drawable->size.width(), drawable->size.height());
    if (!encoded.drawn) {
        layer.discard(*drawable);
        return;
    }
    Gl& gl = gpu_->gl;
    GLsync ready = gl.glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
    gl.glFlush();  // the fence must reach the GPU before another context waits on it
    layer.present(*drawable, ready, std::move(onPresented));
}

bool VideoRenderer::encode(const DecodedFrame& frame, TextureTarget into) {
    if (!makeCurrent()) {
        return false;
    }
    const Encoded encoded = encodeFrame(frame, into.texture, into.width, into.height);
    gpu_->gl.glFlush();
    return encoded.drawn;
}

VideoRenderer::Encoded VideoRenderer::encodeFrame(const DecodedFrame& frame, GLuint texture,
                                                  int width, int height) {
    Gpu& gpu = *gpu_;
    Gl& gl = gpu.gl;
    collectGpuTimes();
    if (!frame.pixelBuffer || width < 1 || height < 1 ||
        !gpu.planes.upload(*frame.pixelBuffer.frame())) {
        return {};
    }
    const VideoSize video{frame.pixelBuffer.width(), frame.pixelBuffer.height()};
    const YCbCrMatrix& matrix = YCbCrMatrix::forPixelBuffer(frame.pixelBuffer);
    const YCbCrRange& range = YCbCrRange::forPixelBuffer(frame.pixelBuffer);
    const UpscaleSettings settings =
        settings_ && !plainOnly_ ? settings_->upscale() : UpscaleSettings::off;
    const RenderPath path =
        RenderPath::choose(video, {double(width), double(height)}, settings, true);

    const std::size_t query = gpu.next;
    const bool timed = !gpu.pending[query];
    if (timed) {
        gl.glBeginQuery(GL_TIME_ELAPSED, gpu.queries[query].id());
        gpu.beganNanos[query] = HostClock::nowNanos();
    }
    Encoded encoded;
    const SpatialUpscaler::Stage* stage =
        path.kind == RenderPath::Kind::upscaled ? gpu.upscaler.stage(video, path.output) : nullptr;
    if (stage) {
        encoded.upscaled = true;
        gl.glBindFramebuffer(GL_FRAMEBUFFER, stage->inputFramebuffer.id());
        gl.glViewport(0, 0, video.width, video.height);
        gpu.convert(gpu.pipeline, matrix, range, {-1, -1, 1, 1});
        gpu.upscaler.encode(*stage);
        if (gpu.bindTarget(texture)) {
            // Window rows count from the bottom.
            const int x = path.outputX;
            const int y = height - path.outputY - path.output.height;
            gpu.clearBlack(width, height);
            gl.glViewport(x, y, path.output.width, path.output.height);
            gl.glUseProgram(gpu.sharpenPipeline.program.id());
            gl.glUniform2f(gpu.sharpenPipeline.origin, float(x), float(y));
            gl.glUniform1f(gpu.sharpenPipeline.sharpness, float(settings.sharpness));
            gl.glActiveTexture(GL_TEXTURE0);
            gl.glBindTexture(GL_TEXTURE_2D, stage->outputTexture.id());
            gl.glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
            encoded.drawn = true;
        }
    } else if (gpu.bindTarget(texture)) {
        gpu.clearBlack(width, height);
        const RectF& fit = path.fit;
        const std::array<float, 4> rect = {
            float(fit.x / width * 2 - 1), float(1 - (fit.y + fit.height) / height * 2),
            float((fit.x + fit.width) / width * 2 - 1), float(1 - fit.y / height * 2)};
        const bool bicubic = settings.filter == UpscaleSettings::Filter::bicubic;
        gpu.convert(bicubic ? gpu.bicubicPipeline : gpu.pipeline, matrix, range, rect);
        encoded.drawn = true;
    }
    gl.glBindFramebuffer(GL_FRAMEBUFFER, 0);
    if (timed) {
        gl.glEndQuery(GL_TIME_ELAPSED);
        gpu.pending[query] = encoded.drawn;
        gpu.upscaled[query] = encoded.upscaled;
        gpu.next = (query + 1) % timerQueries;
    }
    return encoded;
}

void VideoRenderer::collectGpuTimes() {
    Gpu& gpu = *gpu_;
    for (std::size_t i = 0; i < timerQueries; ++i) {
        const std::size_t query = (gpu.next + i) % timerQueries;
        if (!gpu.pending[query]) {
            continue;
        }
        GLint available = 0;
        gpu.gl.glGetQueryObjectiv(gpu.queries[query].id(), GL_QUERY_RESULT_AVAILABLE, &available);
        if (!available) {
            break;
        }
        GLuint64 nanos = 0;
        gpu.gl.glGetQueryObjectui64v(gpu.queries[query].id(), GL_QUERY_RESULT, &nanos);
        gpu.pending[query] = false;
        const std::uint64_t openNanos = HostClock::nowNanos() - gpu.beganNanos[query];
        if (auto summary =
                gpuTimes_.add(double(nanos) / 1e6, gpu.upscaled[query], double(openNanos) / 1e6)) {
            Log::video().debug("gpu ms p50 {:.2f} p90 {:.2f} max {:.2f} over {} frames, upscale {}",
                               summary->medianMillis, summary->p90Millis, summary->maxMillis,
                               summary->count, summary->upscaled ? "on" : "off");
        }
    }
}

TextureTarget VideoRenderer::makeTarget(int width, int height) {
    if (!makeCurrent() || width < 1 || height < 1) {
        return {};
    }
    GlTexture texture = makeTexture(gpu_->gl, GL_RGBA8, GL_RGBA, width, height);
    return {texture.release(), width, height};
}

void VideoRenderer::releaseTarget(TextureTarget& target) {
    if (target.texture && makeCurrent()) {
        gpu_->gl.glDeleteTextures(1, &target.texture);
    }
    target = {};
}

QImage VideoRenderer::readImage(TextureTarget target) {
    if (!target.texture || !makeCurrent() || !gpu_->bindTarget(target.texture)) {
        return {};
    }
    QImage image(target.width, target.height, QImage::Format_RGBA8888);
    Gl& gl = gpu_->gl;
    gl.glPixelStorei(GL_PACK_ALIGNMENT, 4);
    gl.glPixelStorei(GL_PACK_ROW_LENGTH, int(image.bytesPerLine() / 4));
    gl.glReadPixels(0, 0, target.width, target.height, GL_RGBA, GL_UNSIGNED_BYTE, image.bits());
    gl.glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    gl.glBindFramebuffer(GL_FRAMEBUFFER, 0);
    return image.mirrored();
}

void VideoRenderer::finish() {
    if (makeCurrent()) {
        gpu_->gl.glFinish();
    }
}

int VideoRenderer::upscalerCreations() const {
    return gpu_ ? gpu_->upscaler.creations() : 0;
}

}  // namespace qm
