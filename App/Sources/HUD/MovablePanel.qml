import QtQuick
import Vantorel

// A floating panel the user drags away from its resting place, anywhere on it: a press that
// moves less than the threshold still reaches the controls inside. The displacement is drawn
// as a pure offset, so the panel keeps its place in its parent's layout.
Item {
    id: movable

    // Its stored name: "toolbar", "hud" or "recording".
    required property string panel
    required property PanelPositions positions
    // The stream area in the parent's coordinates: the panel is kept in sight inside it.
    property rect area: Qt.rect(0, 0, 0, 0)

    // Tooltips inside hide while it moves: they would stay where the panel was.
    readonly property bool dragging: drag.active
    readonly property size base: positions.offsets[panel] ?? Qt.size(0, 0)
    readonly property rect rest: Qt.rect(x, y, width, height)
    readonly property size shownOffset: positions.shown(
        base, drag.active ? Qt.size(drag.activeTranslation.x, drag.activeTranslation.y)
                          : Qt.size(0, 0), rest, area)

    implicitWidth: childrenRect.width
    implicitHeight: childrenRect.height
    transform: Translate {
        x: movable.shownOffset.width
        y: movable.shownOffset.height
    }

    DragHandler {
        id: drag
        target: null
        dragThreshold: 4
        onActiveChanged: {
            if (!active) {
                movable.positions.endDrag(movable.panel, Qt.size(activeTranslation.x,
                                                                 activeTranslation.y),
                                          movable.rest, movable.area)
            }
        }
    }
}
