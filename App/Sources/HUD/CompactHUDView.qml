import QtQuick
import Vantorel

// The one-line HUD: frame rate and latency, never coloured as a warning.
Rectangle {
    id: compact

    required property HUDLayerModel hudModel

    implicitWidth: line.implicitWidth + 12
    implicitHeight: line.implicitHeight + 6
    radius: 6
    color: Qt.rgba(0, 0, 0, 0.4)

    Text {
        id: line
        objectName: "compactText"
        x: 6
        y: 3
        text: compact.hudModel.compactText
        textFormat: Text.PlainText
        color: Qt.rgba(1, 1, 1, 0.85)
        font.family: "monospace"
        font.pixelSize: 10
    }
}
