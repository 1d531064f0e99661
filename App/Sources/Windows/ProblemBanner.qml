import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// Says once, along the top of the main window over every screen, what went wrong and what to
// do; gone for the rest of the run once acknowledged. Nothing while the text is empty.
Rectangle {
    id: banner

    required property string text
    property bool acknowledged: false

    visible: banner.text !== "" && !banner.acknowledged
    // A problem that went away and comes back is news again.
    onTextChanged: {
        if (banner.text === "") {
            banner.acknowledged = false;
        }
    }
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
            objectName: "problemText"
            Layout.fillWidth: true
            text: banner.text
            textFormat: Text.PlainText
            wrapMode: Text.Wrap
            color: "#3b2f00"
        }
        PushButton {
            objectName: "acknowledge"
            text: qsTr("OK")
            onClicked: banner.acknowledged = true
        }
    }
}
