import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Vantorel

// Offers lighter stream qualities while the phone overheats, or to leave it for now.
Pane {
    id: banner

    required property HUDLayerModel hudModel

    padding: 12
    background: Rectangle {
        radius: 10
        color: banner.palette.window
        opacity: 0.92
    }

    ColumnLayout {
        spacing: 8
        width: Math.min(implicitWidth, 380 - 2 * banner.padding)

        RowLayout {
            spacing: 6
            Image {
                source: "thermometer.high.svg"
                sourceSize: Qt.size(18, 18)
            }
            Label {
                objectName: "bannerTitle"
                Layout.maximumWidth: 380 - 2 * banner.padding - 24
                text: banner.hudModel.bannerTitle
                font.bold: true
                font.pixelSize: 14
                wrapMode: Text.Wrap
            }
        }
        Label {
            Layout.maximumWidth: 380 - 2 * banner.padding
            text: qsTr("Games may stutter. A lighter stream heats the phone less.")
            font.pixelSize: 12
            opacity: 0.7
            wrapMode: Text.Wrap
        }
        RowLayout {
            Layout.alignment: Qt.AlignHCenter
            Repeater {
                model: banner.hudModel.bannerOptions
                delegate: PushButton {
                    required property int index
                    required property string label
                    objectName: "bannerOption"
                    text: label
                    onClicked: banner.hudModel.apply(index)
                    PlainToolTip {
                        visible: parent.hovered
                        text: qsTr("The stream restarts, which ends a recording under way.")
                    }
                }
            }
            PushButton {
                objectName: "notNow"
                text: qsTr("Not Now")
                onClicked: banner.hudModel.dismiss()
            }
        }
    }
}
