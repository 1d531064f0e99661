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
    text: recording ? qsTr("Stop Recording (Super+R)") : qsTr("Start Recording (Super+R)")
    PlainToolTip {
        visible: button.hovered && !button.moving
        text: button.text
    }
    onClicked: overlay.toggleRecording()
}
