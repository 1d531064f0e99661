import QtQuick
import QtQuick.Controls
import Vantorel

// One failure as a card: the message, the redacted detail (selectable), and a button per
// action in the presentation's order. "Try Again" is the default button.
Pane {
    id: panel

    required property ErrorPanelModel panelModel

    signal retry
    signal backToLibrary

    readonly property var actions: panel.panelModel.presentation.actions

    // What Return does wherever the panel is shown: the view that holds the keys calls it.
    // False when the panel has no default button.
    function pressDefault() {
        if (panel.actions.indexOf("retry") < 0)
            return false
        panel.retry()
        return true
    }

    padding: 24
    width: Math.min(implicitWidth, 480)
    focus: true
    Keys.onReturnPressed: event => event.accepted = panel.pressDefault()
    Keys.onEnterPressed: event => event.accepted = panel.pressDefault()

    background: Rectangle {
        radius: 12
        color: panel.palette.window
        opacity: 0.95
    }

    Column {
        width: Math.min(implicitWidth, 432)
        spacing: 12

        Image {
            anchors.horizontalCenter: parent.horizontalCenter
            source: "exclamationmark.triangle.fill.svg"
            sourceSize: Qt.size(34, 34)
        }
        Label {
            objectName: "errorMessage"
            width: Math.min(implicitWidth, 432)
            anchors.horizontalCenter: parent.horizontalCenter
            text: panel.panelModel.presentation.message
            textFormat: Text.PlainText
            font.bold: true
            wrapMode: Text.Wrap
            horizontalAlignment: Text.AlignHCenter
        }
        TextEdit {
            objectName: "errorDetail"
            visible: panel.panelModel.hasDetail
            width: Math.min(implicitWidth, 432)
            anchors.horizontalCenter: parent.horizontalCenter
            text: panel.panelModel.detail
            textFormat: TextEdit.PlainText
            readOnly: true
            selectByMouse: true
            wrapMode: TextEdit.Wrap
            horizontalAlignment: TextEdit.AlignHCenter
            color: panel.palette.placeholderText
            font.pixelSize: 13
        }
        Row {
            anchors.horizontalCenter: parent.horizontalCenter
            spacing: 8

            Repeater {
                model: panel.actions

                delegate: Button {
                    id: action

                    required property string modelData

                    objectName: "action:" + modelData
                    highlighted: modelData === "retry"
                    text: {
                        switch (modelData) {
                        case "retry":
                            return qsTr("Try Again")
                        case "copyDiagnostics":
                            return panel.panelModel.copied ? qsTr("Copied") : qsTr("Copy Diagnostics")
                        default:
                            return qsTr("Back to Library")
                        }
                    }
                    onClicked: {
                        switch (modelData) {
                        case "retry":
                            panel.retry()
                            break
                        case "copyDiagnostics":
                            panel.panelModel.copyDiagnostics()
                            break
                        default:
                            panel.backToLibrary()
                        }
                    }

                    // Over the stream a highlighted button looks the same focused or not.
                    FocusFrame {
                        objectName: "focusRing"
                        anchors.fill: parent
                        anchors.margins: -3
                        radius: 4
                        shown: action.visualFocus
                    }
                }
            }
        }
    }
}
