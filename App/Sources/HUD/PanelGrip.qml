import QtQuick
import QtQuick.Controls
import Vantorel

// The visible handle of a movable panel; the drag belongs to the whole panel.
Item {
    id: grip

    // The panel is being dragged.
    property bool moving: false

    implicitWidth: 14
    implicitHeight: 20

    Image {
        anchors.centerIn: parent
        source: "line.3.horizontal.svg"
        sourceSize: Qt.size(12, 10)
        opacity: 0.6
    }

    HoverHandler {
        id: hover
    }
    PlainToolTip {
        visible: hover.hovered && !grip.moving
        text: qsTr("Drag to move")
    }
}
