import QtQuick
import Vantorel

// For `duration` ms, a capsule naming the layout the player has just switched to, or saying
// where saved layouts went or that they did not read. Each toast has its own timer, so a new one
// stays its full time; the old one's dismissal names the old toast and leaves the new one alone.
// Never takes a click.
Item {
    id: toastLayer

    // The stream window's keymap controller, none without one.
    property KeymapController keymap
    property int duration: 1500

    implicitWidth: childrenRect.width
    implicitHeight: childrenRect.height
    enabled: false

    Repeater {
        model: toastLayer.keymap && toastLayer.keymap.layoutToastId !== "" ? [toastLayer.keymap.layoutToastId] : []
        delegate: Rectangle {
            id: toast

            required property string modelData

            objectName: "layoutToast"
            y: 12
            width: label.width + 28
            height: label.implicitHeight + 16
            radius: Math.min(height / 2, 16)
            color: Qt.rgba(0, 0, 0, 0.7)

            Text {
                id: label
                anchors.centerIn: parent
                // A long sentence breaks into lines that fit the window.
                width: Math.min(implicitWidth, Math.max(200, Window.width - 80))
                wrapMode: Text.Wrap
                horizontalAlignment: Text.AlignHCenter
                text: toastLayer.keymap ? toastLayer.keymap.layoutToastText : ""
                textFormat: Text.PlainText  // layout names come from files
                color: "white"
                font.pixelSize: 13
                font.bold: true
            }
            Timer {
                objectName: "toastTimer"
                // A layout's name for the same time however long; a sentence long enough to
                // be read.
                interval: toastLayer.keymap && toastLayer.keymap.layoutToastNamesLayout
                          ? toastLayer.duration
                          : Math.max(toastLayer.duration, label.text.length * 60)
                running: true
                onTriggered: toastLayer.keymap.dismissToast(toast.modelData)
            }
            // Also when the layer goes away before the time is up.
            Component.onDestruction: {
                if (toastLayer.keymap)
                    toastLayer.keymap.dismissToast(toast.modelData)
            }
        }
    }
}
