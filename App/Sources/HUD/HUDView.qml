import QtQuick
import QtQuick.Layouts
import Vantorel

// The full statistics panel: one grid row per figure, titles dimmed, figures past their
// threshold in orange.
Rectangle {
    id: hud

    required property HUDLayerModel hudModel

    implicitWidth: grid.implicitWidth + 16
    implicitHeight: grid.implicitHeight + 16
    radius: 8
    color: Qt.rgba(0, 0, 0, 0.55)
    Accessible.role: Accessible.Grouping

    GridLayout {
        id: grid

        x: 8
        y: 8
        columns: 2
        columnSpacing: 8
        rowSpacing: 2

        Repeater {
            model: hud.hudModel.rows

            delegate: Text {
                required property int index
                required property string title

                objectName: "hudTitle"
                Layout.row: index
                Layout.column: 0
                text: title
                textFormat: Text.PlainText
                color: Qt.rgba(1, 1, 1, 0.7)
                font.family: "monospace"
                font.pixelSize: 11
            }
        }
        Repeater {
            model: hud.hudModel.rows

            delegate: Text {
                required property int index
                required property string value
                required property bool warning

                objectName: "hudValue"
                Layout.row: index
                Layout.column: 1
                text: value
                textFormat: Text.PlainText
                color: warning ? "orange" : "white"
                font.family: "monospace"
                font.pixelSize: 11
            }
        }
    }
}
