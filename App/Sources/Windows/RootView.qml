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

    Component.onCompleted: root.model.run()

    // Above the screens, which they push down rather than cover.
    Column {
        id: banners

        anchors.left: parent.left
        anchors.right: parent.right
        anchors.top: parent.top

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
        anchors.top: banners.bottom
        anchors.bottom: parent.bottom
    }

    Loader {
        objectName: "streamPlace"
        anchors.fill: screens
        active: root.routeKind === Route.RouteKind.stream && root.hasSession
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
