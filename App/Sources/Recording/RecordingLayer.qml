import QtQuick
import QtQuick.Controls
import Vantorel

// Recording over the stream, at its top-trailing corner: the record button while the session
// can record, the pill with the elapsed time while a recording runs. Both share one movable
// displacement, and both end in their button at the same place: a second click where the first
// started the recording stops it, however wide the time grows.
Item {
    id: layer

    required property RecordingOverlayModel overlay
    required property PanelPositions positions
    required property OverlayFrameRegistry overlayFrames
    // The stream area in this item's coordinates.
    property rect area: Qt.rect(0, 0, 0, 0)

    implicitWidth: movable.implicitWidth + 24
    implicitHeight: movable.implicitHeight + 24

    MovablePanel {
        id: movable
        x: 12
        y: 12
        panel: "recording"
        positions: layer.positions
        area: layer.area

        Column {
            spacing: 8

            Rectangle {
                objectName: "recordPanel"
                visible: layer.overlay.showsRecordPanel
                width: recordRow.implicitWidth + 12
                height: recordRow.implicitHeight + 12
                radius: 8
                color: Qt.rgba(0, 0, 0, 0.55)
                OverlayControl.registry: layer.overlayFrames

                Row {
                    id: recordRow
                    x: 6
                    y: 6
                    spacing: 4

                    PanelGrip {
                        anchors.verticalCenter: parent.verticalCenter
                        moving: movable.dragging
                    }
                    RecordButton {
                        objectName: "recordButton"
                        anchors.verticalCenter: parent.verticalCenter
                        overlay: layer.overlay
                        moving: movable.dragging
                    }
                }
            }

            // 6 after the button, as in the record panel: the round end circles its glyph.
            Rectangle {
                objectName: "pill"
                visible: layer.overlay.showsPill
                width: pillRow.implicitWidth + 16
                height: pillRow.implicitHeight + 12
                radius: height / 2
                color: Qt.rgba(0, 0, 0, 0.6)
                Accessible.role: Accessible.Grouping
                Accessible.name: qsTr("Recording")
                OverlayControl.registry: layer.overlayFrames

                Row {
                    id: pillRow
                    x: 10
                    y: 6
                    spacing: 6

                    PanelGrip {
                        anchors.verticalCenter: parent.verticalCenter
                        moving: movable.dragging
                    }
                    Rectangle {
                        anchors.verticalCenter: parent.verticalCenter
                        width: 10
                        height: 10
                        radius: 5
                        color: "red"
                    }
                    FixedWidthDigits {
                        objectName: "elapsed"
                        anchors.verticalCenter: parent.verticalCenter
                        text: layer.overlay.elapsedText
                    }
                    RecordButton {
                        objectName: "stopButton"
                        anchors.verticalCenter: parent.verticalCenter
                        overlay: layer.overlay
                        moving: movable.dragging
                        flat: true
                    }
                }
            }
        }
    }

    // Each digit in a cell as wide as the widest, so the pill keeps its width as time passes.
    component FixedWidthDigits: Row {
        id: digits

        property string text
        readonly property real cell: Math.max(...Array.from("0123456789", d => metrics.advanceWidth(d)))

        FontMetrics {
            id: metrics
            font: Qt.application.font
        }

        Repeater {
            model: digits.text.split("")

            delegate: Text {
                required property string modelData

                width: /[0-9]/.test(modelData) ? digits.cell : implicitWidth
                horizontalAlignment: Text.AlignHCenter
                text: modelData
                font: metrics.font
                color: "white"
            }
        }
    }
}
