import QtQuick
import QtQuick.Controls
import Vantorel

// One row per attached iPhone, in the app model's order, each offering that iPhone's screen.
Column {
    id: entry

    required property AppModelBase model
    readonly property int count: rows.count

    spacing: 8

    Repeater {
        id: rows

        model: entry.model.iphones

        delegate: Row {
            required property string deviceID
            required property string name

            objectName: "iphoneRow:" + deviceID
            spacing: 8

            Image {
                anchors.verticalCenter: parent.verticalCenter
                source: "iphone.svg"
                sourceSize: Qt.size(18, 18)
            }
            Label {
                anchors.verticalCenter: parent.verticalCenter
                width: Math.min(implicitWidth, 240)
                text: name
                textFormat: Text.PlainText
                elide: Text.ElideRight
            }
            PushButton {
                objectName: "showIPhone"
                text: qsTr("Show iPhone Screen (Beta)")
                hoverEnabled: true
                PlainToolTip {
                    visible: parent.hovered
                    delay: 500
                    text: qsTr("Video and sound only: play with a controller paired to the iPhone.")
                }
                onClicked: entry.model.openIPhone(deviceID)
            }
        }
    }
}
