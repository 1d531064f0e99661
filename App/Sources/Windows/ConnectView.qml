import QtQuick
import QtQuick.Controls
import Vantorel

// The stream route without a session: what the phone is doing, "Connect" once it can, the
// attached iPhones, the demo when the bundle has it, and the last start error in red.
Item {
    id: root

    required property AppModelBase model

    // The keys come here when the screen shows, so that Return presses Connect, the default,
    // from wherever the screen is placed.
    focus: true
    Component.onCompleted: root.forceActiveFocus()
    Keys.onReturnPressed: event => event.accepted = connect.pressDefault()
    Keys.onEnterPressed: event => event.accepted = connect.pressDefault()

    ConnectScreen {
        id: screen

        model: root.model
    }

    Column {
        anchors.centerIn: parent
        width: Math.min(implicitWidth, root.width - 80)
        spacing: 16

        Image {
            anchors.horizontalCenter: parent.horizontalCenter
            source: "../IPhone/iphone.svg"
            sourceSize: Qt.size(48, 48)
        }
        Label {
            objectName: "connectStatus"
            width: Math.min(implicitWidth, root.width - 80)
            anchors.horizontalCenter: parent.horizontalCenter
            text: screen.statusText
            textFormat: Text.PlainText
            wrapMode: Text.Wrap
            horizontalAlignment: Text.AlignHCenter
        }
        DefaultButton {
            id: connect

            function pressDefault() {
                if (!visible)
                    return false
                clicked()
                return true
            }

            objectName: "connect"
            anchors.horizontalCenter: parent.horizontalCenter
            visible: screen.canConnect
            text: qsTr("Connect")
            onClicked: root.model.startStream("")
        }
        IPhoneEntry {
            anchors.horizontalCenter: parent.horizontalCenter
            model: root.model
        }
        Label {
            objectName: "tryDemo"
            anchors.horizontalCenter: parent.horizontalCenter
            visible: root.model.hasDemoStream
            text: "<a href=\"demo\">" + qsTr("Try Demo Mode") + "</a>"
            textFormat: Text.StyledText
            linkColor: palette.link
            onLinkActivated: root.model.startDemo()

            HoverHandler {
                cursorShape: Qt.PointingHandCursor
            }
        }
        Label {
            objectName: "lastError"
            width: Math.min(implicitWidth, root.width - 80)
            anchors.horizontalCenter: parent.horizontalCenter
            visible: screen.errorText !== ""
            text: screen.errorText
            textFormat: Text.PlainText
            color: "red"
            wrapMode: Text.Wrap
            horizontalAlignment: Text.AlignHCenter
        }
    }
}
