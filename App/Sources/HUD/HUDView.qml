import QtQuick
import Vantorel

// The full statistics panel: one row per figure, titles dimmed, figures past their threshold
// in orange.
Rectangle {
    id: hud

    required property HUDLayerModel hudModel

    implicitWidth: columns.implicitWidth + 16
    implicitHeight: columns.implicitHeight + 16
    radius: 8
    color: Qt.rgba(0, 0, 0, 0.55)
    Accessible.role: Accessible.Grouping

    Row {
        id: columns
        x: 8
        y: 8
        spacing: 8

        Column {
            spacing: 2
            Repeater {
                model: hud.hudModel.rows
                delegate: Text {
                    required property string title
                    objectName: "hudTitle"
                    text: title
                    textFormat: Text.PlainText
                    color: Qt.rgba(1, 1, 1, 0.7)
                    font.family: "monospace"
                    font.pixelSize: 11
                }
            }
        }
        Column {
            spacing: 2
            Repeater {
                model: hud.hudModel.rows
                delegate: Text {
                    required property string value
                    required property bool warning
                    objectName: "hudValue"
                    text: value
                    textFormat: Text.PlainText
                    color: warning ? "orange" : "white"
                    font.family: "monospace"
                    font.pixelSize: 11
                }
            }
        }
    }
}
