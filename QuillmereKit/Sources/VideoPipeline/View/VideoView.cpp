#include "VideoPipeline/View/VideoView.h"

#include <QGuiApplication>
#include <QOpenGLContext>
#include <QQuickWindow>
#include <QRunnable>
#include <QSGSimpleRectNode>
#include <QSGSimpleTextureNode>
#include <QScreen>
#include <QSurfaceFormat>
#include <algorithm>
#include <array>
#include <cmath>

#include <QtQml/qqml.h>
#include <QtQuick/qsgtexture_platform.h>

#include "QuillmereCore/HostClock.h"
#include "QuillmereCore/Log.h"
#include "QuillmereCore/ThreadHandoff.h"
#include "VideoPipeline/Viewport.h"

namespace qm {

namespace {

// Shows the latched drawable over the whole item; keeps one texture wrapper per drawable.
class VideoNode final : public QSGSimpleTextureNode {
public:
    explicit VideoNode(std::shared_ptr<VideoLayer> layer) : layer_(std::move(layer)) {
        // Drawables are rendered the OpenGL way up.
        setTextureCoordinatesTransform(QSGSimpleTextureNode::MirrorVertically);
    }

    void show(const VideoLayer::Shown& shown, QQuickWindow* window, const QRectF& rect) {
        Wrapper& wrapper = wrappers_[std::size_t(shown.index)];
        if (!wrapper.texture || wrapper.id != shown.texture || wrapper.size != shown.size) {
            wrapper.texture.reset(
                QNativeInterface::QSGOpenGLTexture::fromNative(shown.texture, window, shown.size));
            wrapper.id = shown.texture;
            wrapper.size = shown.size;
        }
        setTexture(wrapper.texture.get());
        setRect(rect);
        // A drawable of the item's own pixel size maps texel to pixel: the cheapest filter is
        // exact, which a software rasterizer's full-window pass feels.
        const QSize pixels = (rect.size() * window->effectiveDevicePixelRatio()).toSize();
        setFiltering(shown.size == pixels ? QSGTexture::Nearest : QSGTexture::Linear);
        markDirty(QSGNode::DirtyMaterial);
    }

private:
    struct Wrapper {
        std::unique_ptr<QSGTexture> texture;
        GLuint id = 0;
        QSize size;
    };
    // The layer goes with the node, on Qt Quick's render thread, where its textures can be freed.
    std::shared_ptr<VideoLayer> layer_;
    std::array<Wrapper, 3> wrappers_;
};

}  // namespace

VideoView::VideoView(QQuickItem* parent) : QQuickItem(parent) {
    setFlag(ItemHasContents);
    layer_->setDisplayRequest([this] {
        // Runs on the drawing thread: one wake-up of the GUI thread per latched frame at most.
        if (!displayPosted_.exchange(true)) {
            const auto posting = ThreadHandoff::posting();
            QMetaObject::invokeMethod(
                this,
                [this] {
                    ThreadHandoff::received();
                    displayPosted_ = false;
                    update();
                },
                Qt::QueuedConnection);
        }
    });
}

VideoView::~VideoView() {
    layer_->setDisplayRequest(nullptr);
    watchWindow(nullptr);
}

void VideoView::prepareApplication() {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QQuickWindow::setGraphicsApi(QSGRendererInterface::OpenGL);
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setVersion(3, 3);
    format.setProfile(QSurfaceFormat::CoreProfile);
    QSurfaceFormat::setDefaultFormat(format);
}

void VideoView::registerQmlType() {
    qmlRegisterType<VideoView>("Vantorel.Video", 1, 0, "VideoView");
}

void VideoView::setVsyncEnabled(bool enabled) {
    layer_->setDisplaySyncEnabled(enabled);
    if (window_) {
        window_->update();  // taken up by the window's next frame
    }
}

void VideoView::setVideoSize(VideoSize size) {
    if (videoSize_ == size) {
        return;
    }
    videoSize_ = size;
    publishGeometryIfNeeded();
}

void VideoView::show(const DecodedFrame& frame, VideoRenderer::PresentedHandler onPresented) {
    const VideoSize size{frame.pixelBuffer.width(), frame.pixelBuffer.height()};
    if (videoSize_ != size) {
        videoSize_ = size;
        publishGeometryIfNeeded();
    }
    if (!renderer_ && !rendererFailed_) {
        try {
            renderer_ = std::make_unique<VideoRenderer>(settings_);
        } catch (const std::exception& error) {
            Log::video().error("OpenGL renderer unavailable: {}", error.what());
            rendererFailed_ = true;
        }
    }
    if (renderer_) {
        renderer_->render(frame, *layer_, std::move(onPresented));
    }
}

void VideoView::geometryChange(const QRectF& newGeometry, const QRectF& oldGeometry) {
    QQuickItem::geometryChange(newGeometry, oldGeometry);
    updateDrawableSize();
    publishGeometryIfNeeded();
    update();
}

void VideoView::itemChange(ItemChange change, const ItemChangeData& value) {
    QQuickItem::itemChange(change, value);
    if (change == ItemSceneChange) {
        watchWindow(value.window);
        updateDrawableSize();
    } else if (change == ItemDevicePixelRatioHasChanged) {
        updateDrawableSize();
    }
}

void VideoView::watchWindow(QQuickWindow* window) {
    QObject::disconnect(frameSwapped_);
    QObject::disconnect(beforeRendering_);
    restoreSwapInterval();
    window_ = window;
    if (!window) {
        return;
    }
    // Emitted on Qt Quick's render thread once a frame is on screen, maybe already rendering.
    const auto posting = ThreadHandoff::posting();
    frameSwapped_ = connect(
        window, &QQuickWindow::frameSwapped, this,
        [layer = layer_] {
            ThreadHandoff::received();
            layer->frameDisplayed(HostClock::nowNanos());
        },
        Qt::DirectConnection);
    // On the render thread with the window's context current, before each frame is drawn.
    beforeRendering_ = connect(
        window, &QQuickWindow::beforeRendering, this,
        [layer = layer_, applied = swapInterval_, window, set = swapIntervalSetter_] {
            ThreadHandoff::received();
            const int wanted = layer->displaySyncEnabled() ? 1 : 0;
            QOpenGLContext* context = QOpenGLContext::currentContext();
            if (context && applied->exchange(wanted) != wanted) {
                set(*context, *window, wanted);
            }
        },
        Qt::DirectConnection);
}

void VideoView::restoreSwapInterval() {
    if (window_ && swapInterval_->load() >= 0) {
        const int own = std::max(window_->requestedFormat().swapInterval(), 0);
        const auto posting = ThreadHandoff::posting();
        window_->scheduleRenderJob(
            QRunnable::create([window = window_.data(), own, set = swapIntervalSetter_] {
                ThreadHandoff::received();
                if (QOpenGLContext* context = QOpenGLContext::currentContext()) {
                    set(*context, *window, own);
                }
            }),
            QQuickWindow::BeforeRenderingStage);
        window_->update();
    }
    swapInterval_ = std::make_shared<std::atomic<int>>(-1);
}

void VideoView::updateDrawableSize() {
    double scale = 2.0;
    if (QQuickWindow* view = window()) {
        scale = view->effectiveDevicePixelRatio();
    } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        scale = screen->devicePixelRatio();
    }
    layer_->setContentsScale(scale);
    const QSize pixels(int(std::lround(scale * width())), int(std::lround(scale * height())));
    if (pixels.width() <= 0 || pixels.height() <= 0 || layer_->drawableSize() == pixels) {
        return;
    }
    layer_->setDrawableSize(pixels);
}

void VideoView::publishGeometryIfNeeded() {
    if (!videoSize_) {
        return;
    }
    const VideoGeometry geometry(*videoSize_,
                                 Viewport::aspectFit(*videoSize_, {width(), height()}));
    if (lastGeometry_ == geometry) {
        return;
    }
    lastGeometry_ = geometry;
    if (onGeometryChange_) {
        onGeometryChange_(geometry);
    }
}

QSGNode* VideoView::updatePaintNode(QSGNode* oldNode, UpdatePaintNodeData*) {
    // Qt's render thread, which draws the item only after watchWindow() saw its window: what
    // the GUI thread made before, the layer included, is then seen made.
    ThreadHandoff::received();
    const std::optional<VideoLayer::Shown> shown = layer_->latchForDisplay();
    if (!shown) {
        auto* blank = dynamic_cast<QSGSimpleRectNode*>(oldNode);
        if (!blank) {
            delete oldNode;
            blank = new QSGSimpleRectNode(boundingRect(), Qt::black);
        }
        blank->setRect(boundingRect());
        return blank;
    }
    auto* node = dynamic_cast<VideoNode*>(oldNode);
    if (!node) {
        delete oldNode;
        node = new VideoNode(layer_);
    }
    node->show(*shown, window(), boundingRect());
    return node;
}

}  // namespace qm
