import QtQuick
import Vantorel

// Key chips over the live video while the user plays with a keymap: one on every mapped control
// of the active layout, where it touches the screen. Shows itself only in keymap mode with the
// editor closed and labels on; never takes a click.
Item {
    id: overlay

    required property KeymapController keymap
    // Where the picture lies in this item.
    property rect contentRect

    visible: labels.shown
    enabled: false
    opacity: 0.45

    KeymapLabels {
        id: labels
        keymap: overlay.keymap
        contentRect: overlay.contentRect
    }

    Repeater {
        model: labels.chips
        delegate: Item {
            id: chip

            required property string text
            required property real centreX
            required property real centreY

            x: centreX
            y: centreY

            Rectangle {
                visible: chip.text !== ""
                anchors.centerIn: parent
                width: label.implicitWidth + 12
                height: label.implicitHeight + 4
                radius: height / 2
                color: Qt.rgba(0, 0, 0, 0.7)

                Text {
                    id: label
                    anchors.centerIn: parent
                    text: chip.text
                    textFormat: Text.PlainText
                    color: "white"
                    font.pixelSize: 10
                    font.bold: true
                }
            }
            Image {
                anchors.centerIn: parent
                source: chip.text === "" ? "computermouse.svg" : ""
                sourceSize: Qt.size(15, 15)
            }
        }
    }
}
