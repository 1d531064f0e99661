#pragma once

#include <QPoint>
#include <QPointF>
#include <QPointer>
#include <QQuickItem>
#include <optional>

namespace qm {

// The pointer lock of a stream window: the cursor hidden over the view and the pointer held at
// the view's centre. X11 cannot part the cursor from the mouse, so every motion is read as its
// distance from the centre and the pointer warped back. GUI thread only.
class CursorCapture {
public:
    CursorCapture() = default;
    CursorCapture(const CursorCapture&) = delete;
    CursorCapture& operator=(const CursorCapture&) = delete;
    ~CursorCapture() { release(); }

    bool isCaptured() const noexcept { return captured_; }

    // Locks when wanted and not locked, releases when not wanted and locked. A view without a
    // shown window is locked without the warp.
    void update(bool wanted, QQuickItem* view);
    void release();

    // While locked over a window: the motion from the centre to `globalPosition`, the pointer
    // warped back; nothing for the motion a warp itself causes.
    std::optional<QPointF> recentre(QPointF globalPosition);

private:
    void capture(QQuickItem* view);

    bool captured_ = false;
    QPointer<QQuickItem> view_;
    std::optional<QPoint> centre_;  // on the screen, while warping
};

}  // namespace qm
