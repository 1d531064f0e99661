import QtQuick
import QtQuick.Controls
import Vantorel

// The main window's content: the screen of the app model's route, one place each, under the
// banners that say what went wrong, and the window-wide overlays. Starts the app model's work
// once it is shown. A place whose view another part of the app brings stays an empty Loader
// named after it until then.
Item {
    id: root

    required property AppModelBase model

    readonly property int routeKind: root.model.routeKind
    readonly property bool hasSession: root.model.session !== null
    // The window's title while a screen names one ("Games" for the library); empty otherwise.
    readonly property string screenTitle: libraryPlace.item ? libraryPlace.item.title : ""
    // The stream's HUD, while a stream shows: the menus answer its overheating card too.
    readonly property HUDLayerModel hud: streamPlace.item ? streamPlace.item.hud : null
    // A notice shows along the top.
    readonly property bool showsNotices: banners.shownCount > 0
    // The room of notices gone over a stream: what lies over the stream keeps its place
    // under the pointer until the window's size changes or the stream ends.
    property real keptRoom: 0

    // As each notice's OK does.
    function acknowledgeNotices() {
        for (let i = 0; i < banners.children.length; ++i) {
            if (banners.children[i].visible)
                banners.children[i].acknowledged = true
        }
    }

    Component.onCompleted: root.model.run()
    onWidthChanged: root.keptRoom = 0
    onHeightChanged: root.keptRoom = 0

    // Above the screens, which they push down rather than cover.
    Column {
        id: banners

        anchors.left: parent.left
        anchors.right: parent.right
        anchors.top: parent.top

        // The notices shown, and the height they had until it changed.
        readonly property int shownCount: {
            let count = 0
            for (let i = 0; i < banners.children.length; ++i)
                count += banners.children[i].visible ? 1 : 0
            return count
        }
        property int countBefore: 0
        property real heightBefore: 0

        // A notice that went keeps its room; a resize rewraps them and moves everything anyway.
        onHeightChanged: {
            if (streamPlace.active && banners.shownCount < banners.countBefore)
                root.keptRoom = Math.max(root.keptRoom, banners.heightBefore)
            banners.countBefore = banners.shownCount
            banners.heightBefore = banners.height
        }

        ProblemBanner {
            objectName: "saveProblem"
            width: parent.width
            text: root.model.settings.saveProblem
        }
        ProblemBanner {
            objectName: "soundProblem"
            width: parent.width
            text: root.model.soundProblem
        }
        ProblemBanner {
            objectName: "captureProblem"
            width: parent.width
            text: root.model.captureProblem
        }
    }
    Item {
        id: screens

        anchors.left: parent.left
        anchors.right: parent.right
        anchors.top: parent.top
        anchors.topMargin: Math.max(banners.height, root.keptRoom)
        anchors.bottom: parent.bottom
    }
    // Dark, as the stream around the picture is.
    Rectangle {
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.top: banners.bottom
        anchors.bottom: screens.top
        visible: root.keptRoom > banners.height
        color: "black"
    }

    Loader {
        id: streamPlace

        objectName: "streamPlace"
        anchors.fill: screens
        active: root.routeKind === Route.RouteKind.stream && root.hasSession
        onActiveChanged: {
            if (!active)
                root.keptRoom = 0
        }
        sourceComponent: StreamView {
            model: root.model
            session: root.model.session
            packageName: root.model.routePackage
        }
    }
    Loader {
        objectName: "connectPlace"
        anchors.fill: screens
        active: root.routeKind === Route.RouteKind.stream && !root.hasSession
        sourceComponent: ConnectView {
            model: root.model
        }
    }
    Loader {
        objectName: "iphonePlace"
        anchors.fill: screens
        active: root.routeKind === Route.RouteKind.iphone
        sourceComponent: IPhoneStreamView {
            model: root.model
            deviceID: root.model.routeIPhoneID
            deviceName: root.model.routeIPhoneName
        }
    }
    // The set-up steps' step and brand, kept while no phone is usable: a demo played over them
    // leaves them where they were. A phone that becomes usable ends them.
    Loader {
        id: onboardingState

        active: !root.model.hasConnectedDevice || root.routeKind === Route.RouteKind.onboarding
        sourceComponent: OnboardingScreen {
            model: root.model
        }
    }
    Loader {
        objectName: "onboardingPlace"
        anchors.fill: screens
        active: root.routeKind === Route.RouteKind.onboarding && onboardingState.item !== null
        sourceComponent: OnboardingView {
            model: root.model
            screen: onboardingState.item
        }
    }
    Loader {
        id: libraryPlace

        objectName: "libraryPlace"
        anchors.fill: screens
        active: root.routeKind === Route.RouteKind.library
        sourceComponent: LibraryView {
            model: root.model
        }
    }

    // The flash test's sheet and its progress at the bottom-leading corner.
    Loader {
        objectName: "flashTestPlace"
        anchors.left: parent.left
        anchors.bottom: parent.bottom
        sourceComponent: Item {
            implicitWidth: progress.implicitWidth
            implicitHeight: progress.implicitHeight

            DeveloperCommandsModel {
                id: developer

                session: root.model.session
            }
            FlashTestProgress {
                id: progress

                runner: root.model.flashTest
            }
            FlashTestSheet {
                runner: root.model.flashTest
                hasStream: developer.hasStream
                onStartRequested: root.model.runFlashTest()
            }
        }
    }
    Loader {
        objectName: "recordingMessagesPlace"
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        sourceComponent: RecordingMessages {
            recording: root.model.recording
            overlayFrames: root.model.overlayFrames
        }
    }
}
