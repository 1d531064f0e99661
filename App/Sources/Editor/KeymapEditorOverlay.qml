import QtQuick
import QtQuick.Controls
import Vantorel

// The editing surface over the stream while a keymap layout is edited: a dimming layer, a
// handle per action of the edited layout, the toolbar with its banners, and a layer that keeps
// clicks away while an input is being captured. Fills the whole stream view.
Item {
    id: overlay

    required property KeymapController keymap
    // Where the picture lies in this item.
    property rect contentRect
    // The stream window's file chooser: its requests open the file dialog hosted here.
    required property KeymapFileDialogs fileDialogs
    // The stream's phase: while it does not play, the picture under the editor stands still.
    property int streamPhase: SessionPhase.Kind.streaming
    // Where the editor's own controls are kept: a click on one is never a captured trigger.
    property OverlayFrameRegistry overlayFrames: null

    readonly property bool capturing: keymap.captureKind !== KeymapController.CaptureKind.none

    component Banner: Rectangle {
        id: banner

        property alias text: label.text
        property alias textColor: label.color
        signal clicked

        anchors.horizontalCenter: parent.horizontalCenter
        width: Math.min(label.implicitWidth + 16, parent.width)
        height: label.height + 16
        radius: 8
        color: Qt.rgba(palette.window.r, palette.window.g, palette.window.b, 0.9)

        Text {
            id: label
            x: 8
            y: 8
            width: banner.width - 16
            textFormat: Text.PlainText
            wrapMode: Text.Wrap
            color: banner.palette.windowText
        }

        TapHandler {
            gesturePolicy: TapHandler.WithinBounds  // an exclusive grab: the dim below stays out
            onTapped: banner.clicked()
        }
    }

    Rectangle {
        objectName: "dim"
        anchors.fill: parent
        color: Qt.rgba(0, 0, 0, 0.35)

        TapHandler {
            onTapped: overlay.keymap.select("")
        }
        // The stream's panels lie under it: their tooltips would show over the editor.
        HoverHandler {
            blocking: true
        }
    }

    Repeater {
        model: overlay.keymap.actions
        delegate: ActionHandle {
            keymap: overlay.keymap
            contentRect: overlay.contentRect
        }
    }

    Column {
        anchors {
            top: parent.top
            left: parent.left
            right: parent.right
            margins: 12
        }
        spacing: 8

        EditorToolbar {
            id: toolbar
            objectName: "editorToolbar"
            OverlayControl.registry: overlay.overlayFrames
            anchors.horizontalCenter: parent.horizontalCenter
            keymap: overlay.keymap
            maximumWidth: parent.width
        }
        Banner {
            objectName: "captureBanner"
            OverlayControl.registry: overlay.overlayFrames
            visible: overlay.capturing
            text: qsTr("Press a key, mouse button or gamepad button · Esc cancels")
        }
        Banner {
            objectName: "streamAwayBanner"
            OverlayControl.registry: overlay.overlayFrames
            visible: overlay.streamPhase !== SessionPhase.Kind.streaming
            text: overlay.streamPhase === SessionPhase.Kind.waitingForDevice
                  ? qsTr("The phone went away, so the picture stands still. Your changes are kept, and Save still saves them.")
                  : qsTr("The stream is not playing, so the picture stands still. Your changes are kept, and Save still saves them.")
        }
        Banner {
            objectName: "noticeBanner"
            OverlayControl.registry: overlay.overlayFrames
            visible: text !== ""
            text: overlay.keymap.notice
            onClicked: overlay.keymap.dismissNotice()
        }
        Banner {
            objectName: "errorBanner"
            OverlayControl.registry: overlay.overlayFrames
            visible: text !== ""
            text: overlay.keymap.errorMessage
            textColor: "red"
            onClicked: overlay.keymap.dismissErrorMessage()
        }
    }

    MouseArea {
        objectName: "captureBlocker"
        anchors.fill: parent
        visible: overlay.capturing
        acceptedButtons: Qt.AllButtons
        // A click on the toolbar is no trigger, but it ends the wait for one, and its button
        // does what it says.
        onPressed: mouse => {
            if (toolbar.contains(mapToItem(toolbar, mouse.x, mouse.y))) {
                overlay.keymap.startCapture(KeymapController.CaptureKind.none)
                mouse.accepted = false
            }
        }
    }

    KeymapFileDialog {
        chooser: overlay.fileDialogs
    }
}
