import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Vantorel

// The gaming and stream settings as one form, every control bound to its setting: a change is
// stored at once and taken up where the setting is next read.
Pane {
    id: root

    required property AppSettings settings
    property bool upscalingSupported: GraphicsSupport.upscaling

    width: 480
    padding: 20

    ColumnLayout {
        width: parent.width
        spacing: 14

        Label {
            text: qsTr("Gaming")
            font.bold: true
        }
        SettingToggle {
            objectName: "autoFullScreen"
            Layout.fillWidth: true
            title: qsTr("Full screen when a stream starts")
            note: qsTr("The stream fills the whole screen, without panels or window borders.")
            checked: root.settings.autoFullScreen
            onToggled: on => root.settings.autoFullScreen = on
        }
        SettingToggle {
            objectName: "keepDisplayAwake"
            Layout.fillWidth: true
            title: qsTr("Keep the display awake while streaming")
            note: qsTr("The display stays on when you play with a gamepad only; the desktop does not blank or lock the screen.")
            checked: root.settings.keepDisplayAwake
            onToggled: on => root.settings.keepDisplayAwake = on
        }
        SettingToggle {
            objectName: "rawMouseInput"
            Layout.fillWidth: true
            title: qsTr("Raw mouse input")
            note: qsTr("Looking around with the mouse follows your hand 1:1, without the desktop's pointer acceleration.")
            checked: root.settings.rawMouseInput
            onToggled: on => root.settings.rawMouseInput = on
        }
        SettingToggle {
            objectName: "hevcStream"
            Layout.fillWidth: true
            title: qsTr("Sharper video (HEVC)")
            note: qsTr("The phone sends HEVC instead of H.264: about twice the detail at the same bitrate, but in games the phone may take a few ms longer per frame. Turn off if the stream fails to start.")
            checked: root.settings.hevcStream
            onToggled: on => root.settings.hevcStream = on
        }
        SettingToggle {
            objectName: "gpuUpscaling"
            Layout.fillWidth: true
            enabled: root.upscalingSupported
            title: qsTr("GPU upscaling")
            note: root.upscalingSupported
                  ? qsTr("Vantorel already scales the video with a sharp filter. GPU upscaling adds an upscaler with edge sharpening, for about 3 ms more per frame.")
                  : qsTr("Not available on this PC's graphics.")
            checked: root.settings.gpuUpscaling
            onToggled: on => root.settings.gpuUpscaling = on
        }
        RowLayout {
            Layout.fillWidth: true
            spacing: 12

            Label {
                text: qsTr("Sharpness")
            }
            Slider {
                objectName: "sharpness"
                Layout.fillWidth: true
                enabled: root.upscalingSupported && root.settings.gpuUpscaling
                from: 0
                to: 0.5
                live: true
                value: root.settings.sharpness
                onMoved: root.settings.sharpness = value
            }
        }
        ColumnLayout {
            Layout.fillWidth: true
            spacing: 4

            RowLayout {
                Label {
                    Layout.fillWidth: true
                    text: qsTr("Stream frame rate")
                }
                ComboBox {
                    objectName: "streamFrameRate"
                    model: [qsTr("60 fps"), qsTr("Match display"), qsTr("Phone maximum")]
                    currentIndex: root.settings.streamFrameRate
                    onActivated: index => root.settings.streamFrameRate = index
                }
            }
            Label {
                Layout.fillWidth: true
                text: qsTr("Many games cap their own frame rate; a higher stream rate only helps games that run faster. Above 90 fps some phones' encoders fall behind and add latency.")
                wrapMode: Text.Wrap
                font.pixelSize: 11
                opacity: 0.7
            }
        }
        ColumnLayout {
            Layout.fillWidth: true
            spacing: 4

            RowLayout {
                Label {
                    Layout.fillWidth: true
                    text: qsTr("Stream resolution")
                }
                ComboBox {
                    objectName: "streamResolution"
                    model: [qsTr("1280 px — fastest"), qsTr("1600 px"), qsTr("1920 px — sharpest")]
                    currentIndex: root.settings.streamResolution
                    onActivated: index => root.settings.streamResolution = index
                }
            }
            Label {
                Layout.fillWidth: true
                text: qsTr("Higher is sharper on a large screen but takes the phone longer to encode each frame.")
                wrapMode: Text.Wrap
                font.pixelSize: 11
                opacity: 0.7
            }
        }
    }
}
