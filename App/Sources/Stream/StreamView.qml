import QtQuick
import QtQuick.Controls
import Vantorel

// The stream screen: the video with its input layer, the stream's state over it, and the
// panels of the stream window. Keeps the keyboard focus; Escape leaves full screen, else the
// stream; Return presses the error panel's default. Hands its window to the full-screen and
// keep-awake hookup.
Item {
    id: root

    required property AppModelBase model
    required property StreamingSession session
    // Empty without a game.
    required property string packageName

    // What the movable panels are kept inside.
    readonly property rect streamArea: Qt.rect(0, 0, backdrop.width, backdrop.height)
    // What the HUD layer shows, the overheating card among it.
    readonly property HUDLayerModel hud: hudState
    // The picture in this view, bars beside or above it left out; the whole view until known.
    readonly property rect picture: root.session.videoGeometry
                                    ? root.session.videoGeometry.contentRect
                                    : Qt.rect(0, 0, root.width, root.height)
    // The editor lies over the panels: Tab would reach their controls out of sight.
    readonly property bool panelsCovered: !!root.model.streamKeymap && root.model.streamKeymap.editing

    focus: true
    Component.onCompleted: root.forceActiveFocus()
    Keys.onEscapePressed: {
        if (!gaming.leaveFullScreen())
            root.model.leaveStream()
    }
    Keys.onReturnPressed: event => event.accepted = overlay.pressDefault()
    Keys.onEnterPressed: event => event.accepted = overlay.pressDefault()

    StreamGaming {
        id: gaming

        session: root.session
        settings: root.model.settings
        window: root.Window.window
    }

    Rectangle {
        id: backdrop

        objectName: "streamBackdrop"
        anchors.fill: parent
        color: "black"
        // The video view, black itself until the first frame, covers it: drawn under the
        // picture, it would cost a whole window's pixels every frame.
        visible: inputLayers.count === 0
    }

    // One per game: another game gets a new keymap controller and video view.
    Repeater {
        id: inputLayers

        model: [root.packageName]

        delegate: StreamInputLayer {
            required property string modelData

            width: root.width
            height: root.height
            // While a layout is edited, its editor lies over the panels.
            z: keymap && keymap.editing ? 1 : 0
            appModel: root.model
            session: root.session
            packageName: modelData
            onCaptureNoticeRequested: captureNoticeTime.restart()
        }
    }

    StreamOverlay {
        id: overlay

        anchors.fill: parent
        model: root.model
        phase: root.session.phase
        onClose: root.model.leaveStream()
    }

    // The HUD's state lives as long as this view: its guard and banner outlast gaps in streaming.
    HUDLayerModel {
        id: hudState

        session: root.session
        settings: root.model.settings
    }
    StreamToolbarModel {
        id: toolbarState

        settings: root.model.settings
        keymap: root.model.streamKeymap
        inputModel: root.model
        // The stream window's input sets its keymap controller and mode requester together.
        canRequestMode: Boolean(root.model.streamKeymap)
        onStreamRestartRequested: root.model.restartStreamWithCurrentSettings()
    }

    // The toolbar, then the HUD beside it and the thermal banner below, at the top-leading
    // corner.
    Loader {
        id: toolbarPlace

        objectName: "toolbarPlace"
        enabled: !root.panelsCovered
        anchors.left: parent.left
        anchors.top: parent.top
        sourceComponent: StreamToolbar {
            visible: hudState.shown
            muted: root.session.isAudioMuted
            toolbar: toolbarState
            positions: root.model.panelPositions
            overlayFrames: root.model.overlayFrames
            area: root.streamArea
        }
    }
    Loader {
        objectName: "hudPlace"
        enabled: !root.panelsCovered
        anchors.left: parent.left
        anchors.top: parent.top
        sourceComponent: HUDLayer {
            hudModel: hudState
            positions: root.model.panelPositions
            overlayFrames: root.model.overlayFrames
            area: root.streamArea
            toolbarSize: toolbarPlace.item ? toolbarPlace.item.barSize : Qt.size(0, 0)
        }
    }
    Loader {
        objectName: "layoutToastPlace"
        anchors.horizontalCenter: parent.horizontalCenter
        anchors.top: parent.top
        sourceComponent: LayoutToastLayer {
            keymap: root.model.streamKeymap
        }
    }
    // At the picture's corner: over a bar beside it, a dark panel would not show and look cut off.
    Loader {
        id: recordingPlace

        objectName: "recordingLayerPlace"
        enabled: !root.panelsCovered
        anchors.right: parent.right
        anchors.rightMargin: root.width - root.picture.x - root.picture.width
        anchors.top: parent.top
        anchors.topMargin: root.picture.y
        sourceComponent: RecordingLayer {
            overlay: root.model.recordingOverlay
            positions: root.model.panelPositions
            overlayFrames: root.model.overlayFrames
            // Seen from the layer, which sits at the picture's corner.
            area: Qt.rect(-recordingPlace.x, -recordingPlace.y, root.streamArea.width,
                          root.streamArea.height)
        }
    }

    // For a while after the stream first takes the pointer, over the panels: how to get it
    // back. Takes no click.
    Rectangle {
        objectName: "captureNotice"
        anchors.horizontalCenter: parent.horizontalCenter
        y: 56
        visible: captureNoticeTime.running
        width: captureNoticeText.implicitWidth + 28
        height: captureNoticeText.implicitHeight + 16
        radius: height / 2
        color: Qt.rgba(0, 0, 0, 0.75)

        Text {
            id: captureNoticeText

            anchors.centerIn: parent
            text: qsTr("The mouse now moves the game's camera. Hold Alt to click in the window with the pointer, or press Super+1 to get it back. Alt+F4 or Super+Q quits.")
            color: "white"
            font.pixelSize: 13
        }
        Timer {
            id: captureNoticeTime

            interval: 6000
        }
    }
}
