import QtQuick
import QtQuick.Controls
import Vantorel
import Vantorel.Video

// The iPhone route: the attached iPhone's screen, view only, with its frame rate. Escape and
// "Back" leave the route; leaving stops the capture.
Rectangle {
    id: root

    required property AppModelBase model
    required property string deviceID
    required property string deviceName
    property IPhoneMirrorModel mirror: IPhoneMirrorModel {}

    color: "black"
    focus: true
    Keys.onEscapePressed: root.model.closeIPhone()

    VideoView {
        id: surface

        objectName: "IPhoneSurface"
        anchors.fill: parent
    }
    Binding {
        target: root.mirror
        property: "settings"
        value: root.model.settings
    }
    Binding {
        target: root.mirror
        property: "view"
        value: surface
    }

    Column {
        objectName: "failure"
        anchors.centerIn: parent
        visible: root.mirror.error !== ""
        spacing: 12
        padding: 24

        Label {
            width: Math.min(implicitWidth, root.width - 48)
            text: root.mirror.error
            textFormat: Text.PlainText
            color: "white"
            wrapMode: Text.Wrap
            horizontalAlignment: Text.AlignHCenter
        }
        PushButton {
            objectName: "back"
            anchors.horizontalCenter: parent.horizontalCenter
            text: qsTr("Back")
            onClicked: root.model.closeIPhone()
        }
    }
    ProgressBackdrop {
        objectName: "waiting"
        anchors.centerIn: parent
        width: Math.min(implicitWidth, root.width - 32)
        visible: root.mirror.error === "" && root.mirror.fps === 0

        Column {
            width: Math.min(implicitWidth, root.width - 80)
            spacing: 8

            Spinner {
                anchors.horizontalCenter: parent.horizontalCenter
                color: "white"
                implicitWidth: 48
                implicitHeight: 48
            }
            Label {
                width: Math.min(implicitWidth, root.width - 80)
                text: qsTr("Unlock the iPhone. If it asks, tap “Trust” on the iPhone.")
                color: "white"
                opacity: 0.8
                wrapMode: Text.Wrap
                horizontalAlignment: Text.AlignHCenter
            }
        }
    }

    Rectangle {
        objectName: "hud"
        x: 12
        y: 12
        visible: root.model.settings.hudStyle !== AppSettings.HUDStyle.hidden
        width: hudText.implicitWidth + 12
        height: hudText.implicitHeight + 6
        radius: 6
        color: Qt.rgba(0, 0, 0, 0.4)

        Label {
            id: hudText

            objectName: "hudText"
            anchors.centerIn: parent
            text: root.mirror.hudText(root.mirror.fps, root.deviceName)
            textFormat: Text.PlainText
            color: Qt.rgba(1, 1, 1, 0.85)
            font.family: "monospace"
            font.pixelSize: 11
        }
    }

    // Placed by the root view's loader, it takes the keys as the stream view does: Escape leaves.
    Component.onCompleted: {
        root.forceActiveFocus()
        root.mirror.start(root.deviceID)
    }
    onDeviceIDChanged: root.mirror.start(root.deviceID)
    Component.onDestruction: root.mirror.stop()
}
