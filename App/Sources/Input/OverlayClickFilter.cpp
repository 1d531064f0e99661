#include "Input/OverlayClickFilter.h"

#include <algorithm>

namespace qm {

namespace {

// Half-open, unlike QRectF::contains, so that frames that touch share no point.
bool holds(const QRectF& frame, QPointF point) {
    return point.x() >= frame.left() && point.x() < frame.right() && point.y() >= frame.top() &&
           point.y() < frame.bottom();
}

}  // namespace

bool OverlayClickFilter::forwards(int button, bool down, QPointF point,
                                  const QList<QRectF>& overlays) {
    const auto held = std::find(swallowed.begin(), swallowed.end(), button);
    if (!down) {
        if (held == swallowed.end()) {
            return true;
        }
        swallowed.erase(held);
        return false;
    }
    const bool onOverlay = std::any_of(overlays.begin(), overlays.end(),
                                       [&](const QRectF& frame) { return holds(frame, point); });
    if (onOverlay && held == swallowed.end()) {
        swallowed.push_back(button);
    } else if (!onOverlay && held != swallowed.end()) {
        swallowed.erase(held);
    }
    return !onOverlay;
}

}  // namespace qm
