import QtQuick
import Vantorel
import Vantorel.Video

// The video of one stream screen and game, under the input host, with the keymap editor or
// the play-time labels over it. Made anew for another game, so that it gets its own keymap
// controller and video view.
Item {
    id: inputLayer

    required property AppModelBase appModel
    required property StreamingSession session
    required property string packageName

    readonly property KeymapController keymap: keymapState.controller

    // The stream has just taken the pointer for the first time: say how to get it back.
    signal captureNoticeRequested()
    readonly property var geometry: inputLayer.session.videoGeometry

    VideoView {
        id: video

        objectName: "streamVideo"
        anchors.fill: parent
    }
    VideoSurface {
        view: video
        session: inputLayer.session
        settings: inputLayer.appModel.settings
    }

    // Keys, mouse and controllers to the phone, once the app model takes input.
    Loader {
        objectName: "inputHostPlace"
        anchors.fill: parent
        active: !!inputLayer.keymap
        sourceComponent: InputHost {
            model: inputLayer.appModel
            keymap: inputLayer.keymap
            sheetCount: emulatorWarning.visible ? 1 : 0
            onEmulatorWarningRequested: emulatorWarning.open()
            onCaptureNoticeRequested: inputLayer.captureNoticeRequested()
        }
    }
    EmulatorWarningDialog {
        id: emulatorWarning
    }

    // Nothing before the first frame: the overlays place themselves on the picture.
    Loader {
        objectName: "keymapOverlayPlace"
        anchors.fill: parent
        active: !!inputLayer.geometry && !!inputLayer.keymap
        sourceComponent: inputLayer.keymap && inputLayer.keymap.editing ? editorOverlay : labelsOverlay
    }
    Component {
        id: editorOverlay

        KeymapEditorOverlay {
            keymap: inputLayer.keymap
            contentRect: inputLayer.geometry ? inputLayer.geometry.contentRect : Qt.rect(0, 0, 0, 0)
            fileDialogs: keymapState.fileDialogs
            streamPhase: inputLayer.session.phase.kind
            overlayFrames: inputLayer.appModel.overlayFrames
        }
    }
    Component {
        id: labelsOverlay

        KeymapLabelsOverlay {
            keymap: inputLayer.keymap
            contentRect: inputLayer.geometry ? inputLayer.geometry.contentRect : Qt.rect(0, 0, 0, 0)
        }
    }

    // Last, so that it goes after everything that uses its controller.
    StreamKeymap {
        id: keymapState

        packageName: inputLayer.packageName
    }
}
