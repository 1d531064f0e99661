#pragma once

#include <QOpenGLContext>
#include <QSize>
#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>

namespace qm {

// The surface a view shows and a renderer draws into, from any thread: drawables (textures
// shared between OpenGL contexts) handed between the drawing side and Qt Quick. One is shown,
// one may wait to be shown and one is drawn, so drawing never waits for the display. A drawable
// presented while an earlier one still waits replaces it; the replaced one is never shown and
// reports nothing. Black until the first drawable is shown.
class VideoLayer {
public:
    using PresentedHandler = std::function<void(std::uint64_t)>;

    struct Drawable {
        int index = 0;
        GLuint texture = 0;
        QSize size;
    };

    VideoLayer() = default;
    ~VideoLayer();
    VideoLayer(const VideoLayer&) = delete;
    VideoLayer& operator=(const VideoLayer&) = delete;

    // The view's side.
    QSize drawableSize() const;
    void setDrawableSize(QSize size);
    double contentsScale() const;
    void setContentsScale(double scale);
    bool displaySyncEnabled() const;
    void setDisplaySyncEnabled(bool enabled);
    // Called from the drawing thread when a drawable waits to be shown; it must only post.
    void setDisplayRequest(std::function<void()> request);

    // The drawing side, with a context of the shared group current. Nothing while the
    // drawable size is empty.
    std::optional<Drawable> nextDrawable();
    // `ready` is a fence after the drawable's commands; the layer owns it from here.
    void present(const Drawable& drawable, GLsync ready, PresentedHandler onPresented);
    void discard(const Drawable& drawable);

    // Qt Quick's render thread, its context current: the newest presented drawable becomes the
    // one shown (or the shown one stays); nothing before the first.
    struct Shown {
        int index = 0;
        GLuint texture = 0;
        QSize size;
    };
    std::optional<Shown> latchForDisplay();
    // The frame showing the latched drawable reached the screen at `nanos`.
    void frameDisplayed(std::uint64_t nanos);

    // How many drawables were shown, for tests and statistics.
    int displayedCount() const;

private:
    enum class State { free, drawing, presented, shown, retiring };
    struct Slot {
        GLuint texture = 0;
        QSize allocated;
        State state = State::free;
        GLsync fence = nullptr;  // presented: drawing done; free: Qt Quick is done reading
        PresentedHandler onPresented;
        bool reportPending = false;
    };

    mutable std::mutex mutex_;
    std::array<Slot, 3> slots_;
    QSize drawableSize_;
    double contentsScale_ = 1.0;
    bool displaySync_ = false;
    int displayed_ = 0;

    std::mutex requestMutex_;
    std::function<void()> displayRequest_;
};

}  // namespace qm
