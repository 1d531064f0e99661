import QtQuick
import QtQuick.Controls
import Vantorel

// The outcome of the last recording over every screen of the main window, at its
// bottom-trailing corner, until dismissed or the next recording starts.
Column {
    id: messages

    required property RecordingController recording
    required property OverlayFrameRegistry overlayFrames

    padding: 12
    spacing: 8

    component Message: Rectangle {
        default property alias content: row.data

        anchors.right: parent.right
        anchors.rightMargin: messages.rightPadding
        width: row.implicitWidth + 16
        height: row.implicitHeight + 16
        radius: 8
        color: palette.window
        border.color: palette.mid
        OverlayControl.registry: messages.overlayFrames

        Row {
            id: row
            x: 8
            y: 8
            spacing: 8
        }
    }

    component DismissButton: PushButton {
        objectName: "dismissMessage"
        anchors.verticalCenter: parent.verticalCenter
        display: AbstractButton.IconOnly
        icon.source: Qt.resolvedUrl("xmark.svg")
        text: qsTr("Dismiss")
        onClicked: {
            const had = activeFocus
            const window = Window.window
            messages.recording.dismissMessages()
            // Gone with its message, it would leave the keys with no control at all.
            if (had)
                SceneWindows.focusFirstControl(window)
        }
    }

    Message {
        objectName: "savedPanel"
        visible: messages.recording.lastFileName !== ""
        HoverHandler {
            id: savedHover
        }
        PlainToolTip {
            visible: savedHover.hovered
            text: messages.recording.lastFileName
        }
        Label {
            anchors.verticalCenter: parent.verticalCenter
            text: qsTr("Recording saved")
        }
        PushButton {
            anchors.verticalCenter: parent.verticalCenter
            objectName: "showInFolder"
            // The style's own padding leaves the words against the frame.
            horizontalPadding: 12
            text: qsTr("Show in Folder")
            onClicked: messages.recording.revealLastFile()
        }
        DismissButton {}
    }

    Message {
        objectName: "errorPanel"
        visible: messages.recording.errorMessage !== ""

        Label {
            anchors.verticalCenter: parent.verticalCenter
            text: messages.recording.errorMessage
            textFormat: Text.PlainText
        }
        DismissButton {}
    }
}
