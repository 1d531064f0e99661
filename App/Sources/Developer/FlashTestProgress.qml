import QtQuick
import QtQuick.Controls
import Vantorel

// A running flash test's progress, a small capsule over the stream. It handles no input and
// reports no overlay frame, so clicks on it reach the phone's screen beneath.
Item {
    id: badge

    required property FlashTestRunner runner

    objectName: "flashTestProgress"
    visible: badge.runner.isRunning
    implicitWidth: capsule.width + 24
    implicitHeight: capsule.height + 24

    Rectangle {
        id: capsule

        x: 12
        y: 12
        width: row.implicitWidth + 16
        height: row.implicitHeight + 16
        radius: height / 2
        color: Qt.rgba(0, 0, 0, 0.6)

        Row {
            id: row

            anchors.centerIn: parent
            spacing: 8

            ProgressBar {
                anchors.verticalCenter: parent.verticalCenter
                width: 120
                from: 0
                to: 1
                value: badge.runner.progress
            }
            Label {
                anchors.verticalCenter: parent.verticalCenter
                text: qsTr("Flash test…")
                color: "white"
                font.pixelSize: 11
            }
        }
    }
}
