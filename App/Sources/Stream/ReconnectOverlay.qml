import QtQuick
import QtQuick.Controls
import Vantorel

// Dims the picture while the phone is away; the session resumes by itself when it returns.
Item {
    id: overlay

    signal back

    Rectangle {
        anchors.fill: parent
        color: "black"
        opacity: 0.6
    }
    ProgressBackdrop {
        anchors.centerIn: parent
        width: Math.min(implicitWidth, overlay.width - 32)

        Column {
            width: Math.min(implicitWidth, overlay.width - 80)
            spacing: 16

            Spinner {
                anchors.horizontalCenter: parent.horizontalCenter
                color: "white"
                implicitWidth: 48
                implicitHeight: 48
            }
            Label {
                anchors.horizontalCenter: parent.horizontalCenter
                text: qsTr("Waiting for the phone…")
                color: "white"
                font.pixelSize: 22
                font.bold: true
            }
            Label {
                width: Math.min(implicitWidth, overlay.width - 80)
                anchors.horizontalCenter: parent.horizontalCenter
                text: qsTr("Reconnect the cable. The game and control mode will resume automatically.")
                color: "white"
                opacity: 0.8
                wrapMode: Text.Wrap
                horizontalAlignment: Text.AlignHCenter
            }
            PushButton {
                id: back

                objectName: "backToLibrary"
                anchors.horizontalCenter: parent.horizontalCenter
                text: qsTr("Back to Library")
                onClicked: overlay.back()
            }
        }
    }
}
