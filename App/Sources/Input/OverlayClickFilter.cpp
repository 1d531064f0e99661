#include "Input/OverlayClickFilter.h"

#include <algorithm>
#include <cmath>

namespace qm {

namespace {

// Half-open, unlike QRectF::contains, so that frames that touch share no point.
bool holds(const QRectF& frame, QPointF point) {
    return point.x() >= frame.left() && point.x() < frame.right() && point.y() >= frame.top() &&
           point.y() < frame.bottom();
}

}  // namespace

bool OverlayClickFilter::completesDoubleClick(const Press& press, DoubleClick doubleClick) const {
    // A time before the last press is no double click, as Qt counts them; unsigned, it is far.
    return controlPress && controlPress->button == press.button &&
           press.time - controlPress->time < doubleClick.interval &&
           std::abs(press.point.x() - controlPress->point.x()) <= doubleClick.distance &&
           std::abs(press.point.y() - controlPress->point.y()) <= doubleClick.distance;
}

void OverlayClickFilter::noteTaken(const Press& press, DoubleClick doubleClick) {
    // A third click starts another double click, as Qt counts them.
    if (completesDoubleClick(press, doubleClick)) {
        controlPress.reset();
    } else {
        controlPress = press;
    }
}

bool OverlayClickFilter::forwards(const Press& press, bool down, const QList<QRectF>& overlays,
                                  DoubleClick doubleClick) {
    const auto held = std::find(swallowed.begin(), swallowed.end(), press.button);
    if (!down) {
        if (held == swallowed.end()) {
            return true;
        }
        swallowed.erase(held);
        return false;
    }
    const bool onOverlay = std::any_of(overlays.begin(), overlays.end(), [&](const QRectF& frame) {
        return holds(frame, press.point);
    });
    const bool kept = onOverlay || completesDoubleClick(press, doubleClick);
    if (onOverlay) {
        noteTaken(press, doubleClick);
    } else {
        controlPress.reset();
    }
    if (kept && held == swallowed.end()) {
        swallowed.push_back(press.button);
    } else if (!kept && held != swallowed.end()) {
        swallowed.erase(held);
    }
    return !kept;
}

}  // namespace qm
