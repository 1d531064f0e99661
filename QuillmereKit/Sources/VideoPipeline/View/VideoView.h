#pragma once

#include <QPointer>
#include <QQuickItem>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

#include "QuillmereCore/VideoGeometry.h"
#include "VideoPipeline/DecodedFrame.h"
#include "VideoPipeline/UpscaleSettings.h"
#include "VideoPipeline/View/SwapInterval.h"
#include "VideoPipeline/View/VideoLayer.h"
#include "VideoPipeline/View/VideoRenderer.h"

namespace qm {

// The Qt Quick item that shows the video: it sizes its layer's drawables to its pixels, shows
// the newest drawable Qt Quick can latch, and reports where the picture sits (its geometry)
// whenever that changes. A stream draws into its layer from the render thread with a renderer
// of its own; show() draws with the view's own renderer on the GUI thread.
//
// Needs contexts shared with Qt Quick's: Qt::AA_ShareOpenGLContexts before the application.
class VideoView : public QQuickItem {
    Q_OBJECT

public:
    using GeometryHandler = std::function<void(const VideoGeometry&)>;

    explicit VideoView(QQuickItem* parent = nullptr);
    ~VideoView() override;

    // Before the QGuiApplication exists: contexts shared with Qt Quick's, Qt Quick on OpenGL,
    // and OpenGL 3.3 core by default, which the renderer needs.
    static void prepareApplication();
    // Makes the item available to QML as VideoView in "Vantorel.Video" 1.0.
    static void registerQmlType();

    const std::shared_ptr<VideoLayer>& videoLayer() const noexcept { return layer_; }
    const std::shared_ptr<RenderSettings>& renderSettings() const noexcept { return settings_; }

    // Takes effect from the next frame drawn by any renderer sharing the settings.
    UpscaleSettings upscale() const { return settings_->upscale(); }
    void setUpscale(const UpscaleSettings& upscale) { settings_->setUpscale(upscale); }

    // Off unless set: the window then swaps without waiting for the display, so a frame is
    // shown as soon as it is drawn. On, every swap waits for the display's refresh. The window's
    // own swap interval comes back when the view leaves it.
    bool vsyncEnabled() const { return layer_->displaySyncEnabled(); }
    void setVsyncEnabled(bool enabled);
    // How the swap interval is set, on the window's render thread: by default through GLX or
    // EGL. Before the view is put in a window.
    using SwapIntervalSetter = std::function<bool(QOpenGLContext&, QWindow&, int)>;
    void setSwapIntervalSetter(SwapIntervalSetter setter) {
        swapIntervalSetter_ = std::move(setter);
    }

    // Called on the GUI thread, only when the geometry changed. One handler at a time: `owner`
    // names whose it is, so that an owner letting go never removes its successor's.
    void setOnGeometryChange(GeometryHandler handler, const void* owner = nullptr) {
        onGeometryChange_ = std::move(handler);
        geometryOwner_ = owner;
    }
    void clearOnGeometryChange(const void* owner) {
        if (owner == geometryOwner_) {
            setOnGeometryChange({});
        }
    }
    const std::optional<VideoGeometry>& lastGeometry() const noexcept { return lastGeometry_; }

    const std::optional<VideoSize>& videoSize() const noexcept { return videoSize_; }
    void setVideoSize(VideoSize size);

    // Draws one frame with the view's own renderer, made on first use.
    void show(const DecodedFrame& frame, VideoRenderer::PresentedHandler onPresented);

protected:
    void geometryChange(const QRectF& newGeometry, const QRectF& oldGeometry) override;
    void itemChange(ItemChange change, const ItemChangeData& value) override;
    QSGNode* updatePaintNode(QSGNode* oldNode, UpdatePaintNodeData* data) override;

private:
    void updateDrawableSize();
    void publishGeometryIfNeeded();
    void watchWindow(QQuickWindow* window);
    void restoreSwapInterval();

    std::shared_ptr<VideoLayer> layer_ = std::make_shared<VideoLayer>();
    std::shared_ptr<RenderSettings> settings_ =
        std::make_shared<RenderSettings>(UpscaleSettings::off);
    std::unique_ptr<VideoRenderer> renderer_;
    bool rendererFailed_ = false;
    std::optional<VideoSize> videoSize_;
    std::optional<VideoGeometry> lastGeometry_;
    GeometryHandler onGeometryChange_;
    const void* geometryOwner_ = nullptr;
    QPointer<QQuickWindow> window_;
    SwapIntervalSetter swapIntervalSetter_ = setSwapInterval;
    // The interval set on window_'s swaps, on its render thread; -1 before the first.
    std::shared_ptr<std::atomic<int>> swapInterval_ = std::make_shared<std::atomic<int>>(-1);
    QMetaObject::Connection frameSwapped_;
    QMetaObject::Connection beforeRendering_;
    std::atomic<bool> displayPosted_{false};
};

}  // namespace qm
