import QtQuick
import QtQuick.Controls

// The visible handle of a movable panel; the drag belongs to the whole panel.
Item {
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
    ToolTip.visible: hover.hovered && !moving
    ToolTip.text: qsTr("Drag to move")
}
