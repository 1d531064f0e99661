#pragma once

#include <QList>
#include <QPointF>
#include <QRectF>
#include <vector>

namespace qm {

// Decides which mouse buttons reach the phone: a press on an overlay control, and the release
// that ends it wherever it happens, stay in the window. One per attachment of a stream window.
// GUI thread only.
struct OverlayClickFilter {
    // Pressed on an overlay control and not yet released.
    std::vector<int> swallowed;

    // Whether the event goes to the phone; `point` in the frames' coordinates. A frame holds
    // the points on its left and top edges, not those on its right and bottom edges.
    bool forwards(int button, bool down, QPointF point, const QList<QRectF>& overlays);

    bool operator==(const OverlayClickFilter&) const = default;
};

}  // namespace qm
