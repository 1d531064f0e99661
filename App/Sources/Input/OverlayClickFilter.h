#pragma once

#include <QList>
#include <QPointF>
#include <QRectF>
#include <cstdint>
#include <optional>
#include <vector>

namespace qm {

// Decides which mouse buttons reach the phone: a press that the window's own controls take, the
// release that ends it wherever it happens, and the next click of the same double click, which
// lands where the control was once it has closed. One per attachment of a stream window. GUI
// thread only.
struct OverlayClickFilter {
    struct Press {
        int button = 0;
        // In the frames' coordinates.
        QPointF point;
        // The display's time of the press, in milliseconds.
        std::uint64_t time = 0;
    };
    // What makes two presses one double click: the desktop's style hints.
    struct DoubleClick {
        std::uint64_t interval = 0;
        double distance = 0;
    };

    // Pressed on an overlay control and not yet released.
    std::vector<int> swallowed;
    // The last press the window's controls took that a second one may make a double click of.
    std::optional<Press> controlPress;

    // Whether the event goes to the phone. A frame holds the points on its left and top edges,
    // not those on its right and bottom edges.
    bool forwards(const Press& press, bool down, const QList<QRectF>& overlays,
                  DoubleClick doubleClick);
    // A press that the window's controls took before this filter was asked, as a dialog over
    // the window has them all.
    void noteTaken(const Press& press, DoubleClick doubleClick);

private:
    // Whether the press makes a double click with the last one the controls took.
    bool completesDoubleClick(const Press& press, DoubleClick doubleClick) const;
};

}  // namespace qm
