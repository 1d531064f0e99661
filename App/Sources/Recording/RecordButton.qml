import QtQuick
import QtQuick.Controls
import Vantorel

// Starts the recording of the stream, or stops the one running. Compact and flat with a light
// glyph: it sits on dark panels.
ToolButton {
    id: button

    required property RecordingOverlayModel overlay
    readonly property bool recording: overlay.recording.isRecording
    // The panel holding the button is being dragged.
    property bool moving: false

    display: AbstractButton.IconOnly
    icon.source: recording ? Qt.resolvedUrl("stop.circle.fill.svg")
                           : Qt.resolvedUrl("record.circle.svg")
    icon.color: recording ? "red" : "white"
    // The style's light hover and press backgrounds would wash out the white mark.
    background: Rectangle {
        implicitWidth: 28
        implicitHeight: 28
        radius: 4
        color: "white"
        opacity: button.down ? 0.3 : button.hovered ? 0.18 : 0
    }
    text: recording ? qsTr("Stop Recording (Super+R)") : qsTr("Start Recording (Super+R)")
    PlainToolTip {
        visible: button.hovered && !button.moving
        text: button.text
    }
    onClicked: overlay.toggleRecording()
}
