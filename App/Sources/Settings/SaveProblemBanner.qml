import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Vantorel

// Says once, along the top of the main window over every screen, that the settings cannot be
// saved and why; gone for the rest of the run once acknowledged.
Rectangle {
    id: banner

    required property AppSettings settings
    property bool acknowledged: false

    objectName: "saveProblem"
    visible: banner.settings.saveProblem !== "" && !banner.acknowledged
    implicitHeight: row.implicitHeight + 16
    color: "#fff4ce"

    RowLayout {
        id: row

        anchors.left: parent.left
        anchors.right: parent.right
        anchors.verticalCenter: parent.verticalCenter
        anchors.leftMargin: 12
        anchors.rightMargin: 12
        spacing: 10

        Image {
            source: "../Errors/exclamationmark.triangle.fill.svg"
            sourceSize: Qt.size(18, 18)
        }
        Label {
            objectName: "saveProblemText"
            Layout.fillWidth: true
            text: banner.settings.saveProblem
            textFormat: Text.PlainText
            wrapMode: Text.Wrap
            color: "#3b2f00"
        }
        Button {
            objectName: "acknowledge"
            text: qsTr("OK")
            onClicked: banner.acknowledged = true
        }
    }
}
