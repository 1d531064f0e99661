import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Vantorel

// The gaming and stream settings as one form, every control bound to its setting: a change is
// stored at once and taken up where the setting is next read. Rows are positioned, not laid
// out, so the form is exactly as tall as its wrapped notes make it.
Pane {
    id: root

    required property AppSettings settings
    property bool upscalingSupported: GraphicsSupport.upscaling
    property bool softwareRendering: GraphicsSupport.softwareRendering
    // A stream plays, which keeps the codec, frame rate and resolution it started with.
    property bool streamPlaying: false
    readonly property string nextStream: root.streamPlaying ? qsTr("Applies to the next stream.")
                                                            : ""

    width: 480
    padding: 20
    contentHeight: rows.height

    component Note: Label {
        width: parent.width
        wrapMode: Text.Wrap
        font.pixelSize: 11
        opacity: 0.7
    }
    // A picker on the title's line, its note under both.
    component Picker: Column {
        id: picker

        required property string boxName
        required property string title
        required property string note
        required property list<string> options
        required property int current
        property string aside

        signal chosen(int index)

        width: parent.width
        spacing: 4

        RowLayout {
            width: parent.width

            Label {
                Layout.fillWidth: true
                text: picker.title
            }
            ComboBox {
                objectName: picker.boxName
                implicitContentWidthPolicy: ComboBox.WidestText
                model: picker.options
                currentIndex: picker.current
                onActivated: index => picker.chosen(index)
            }
        }
        Note {
            text: picker.note
        }
        Note {
            objectName: picker.boxName + "Aside"
            visible: picker.aside !== ""
            text: picker.aside
            font.italic: true
            opacity: 1
        }
    }

    Column {
        id: rows

        width: parent.width
        spacing: 14

        Label {
            text: qsTr("Gaming")
            font.bold: true
        }
        SettingToggle {
            objectName: "autoFullScreen"
            width: parent.width
            title: qsTr("Full screen when a stream starts")
            note: qsTr("The stream fills the whole screen, without panels or window borders.")
            checked: root.settings.autoFullScreen
            onToggled: on => root.settings.autoFullScreen = on
        }
        SettingToggle {
            objectName: "keepDisplayAwake"
            width: parent.width
            title: qsTr("Keep the display awake while streaming")
            note: qsTr("The display stays on when you play with a gamepad only; the desktop does not blank or lock the screen.")
            checked: root.settings.keepDisplayAwake
            onToggled: on => root.settings.keepDisplayAwake = on
        }
        SettingToggle {
            objectName: "rawMouseInput"
            width: parent.width
            title: qsTr("Raw mouse input")
            note: qsTr("Looking around with the mouse follows your hand 1:1, without the desktop's pointer acceleration.")
            checked: root.settings.rawMouseInput
            onToggled: on => root.settings.rawMouseInput = on
        }
        SettingToggle {
            objectName: "hevcStream"
            width: parent.width
            title: qsTr("Sharper video (HEVC)")
            note: qsTr("The phone sends HEVC instead of H.264: about twice the detail at the same bitrate, but in games the phone may take a few ms longer per frame. Turn off if the stream fails to start.")
            aside: root.nextStream
            checked: root.settings.hevcStream
            onToggled: on => root.settings.hevcStream = on
        }
        SettingToggle {
            objectName: "gpuUpscaling"
            width: parent.width
            enabled: root.upscalingSupported
            title: qsTr("GPU upscaling")
            note: root.upscalingSupported
                  ? qsTr("Vantorel already scales the video with a sharp filter. GPU upscaling adds an upscaler with edge sharpening, for about 3 ms more per frame.")
                  : root.softwareRendering
                    ? qsTr("Not available: this PC draws in software, as a virtual machine does, so the video is scaled with the fastest filter to keep it smooth.")
                    : qsTr("Not available on this PC's graphics.")
            // What is drawn: a stored choice this PC cannot honour shows off.
            checked: root.upscalingSupported && root.settings.gpuUpscaling
            onToggled: on => root.settings.gpuUpscaling = on
        }
        Column {
            width: parent.width
            spacing: 2

            RowLayout {
                width: parent.width
                spacing: 12

                Label {
                    text: qsTr("Sharpness")
                    enabled: sharpness.enabled
                }
                Slider {
                    id: sharpness

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
            // Without upscaling, the note above has already said why.
            Note {
                objectName: "sharpnessReason"
                visible: root.upscalingSupported && !sharpness.enabled
                text: qsTr("Turn on GPU upscaling to set the sharpness.")
            }
        }
        Picker {
            boxName: "streamFrameRate"
            title: qsTr("Stream frame rate")
            note: qsTr("Many games cap their own frame rate; a higher stream rate only helps games that run faster. Above 90 fps some phones' encoders fall behind and add latency.")
            options: [qsTr("60 fps"), qsTr("Match display"), qsTr("Phone maximum")]
            current: root.settings.streamFrameRate
            aside: root.nextStream
            onChosen: index => root.settings.streamFrameRate = index
        }
        Picker {
            boxName: "streamResolution"
            title: qsTr("Stream resolution")
            note: qsTr("Higher is sharper on a large screen but takes the phone longer to encode each frame.")
            options: [qsTr("1280 px — fastest"), qsTr("1600 px"), qsTr("1920 px — sharpest")]
            current: root.settings.streamResolution
            aside: root.nextStream
            onChosen: index => root.settings.streamResolution = index
        }
    }
}
