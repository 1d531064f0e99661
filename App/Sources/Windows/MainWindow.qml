import QtQuick
import QtQuick.Controls
import Vantorel

// The main window "Vantorel" with the menu bar, the root view and the windows shown on demand.
// The application shows it, where it was last. Closing it is a quit, which may first ask about
// unsaved edits or finish a recording. The actions live here, outside the menus, so that their
// shortcuts work while every menu is closed.
ApplicationWindow {
    id: window

    required property AppModelBase model
    required property AppUpdater updater

    // In full screen the menu bar hides, as the setting's note promises: no panels. The pointer at
    // the top edge shows it while the stream does not hold the pointer, F10 shows it with its
    // first menu open, and it stays while one of its menus is open.
    readonly property bool fullScreen: commands.fullScreen
    readonly property bool menuBarShown: !window.fullScreen || menus.menuOpen || menus.openedByKey
                                         || (topEdge.hovered && !window.model.pointerCaptured)

    title: rootView.screenTitle || qsTr("Vantorel")
    width: 1280
    height: 720
    minimumWidth: 640
    minimumHeight: 360

    onClosing: close => {
        close.accepted = false
        window.model.requestQuit()
    }

    StreamCommandsModel {
        id: commands

        streamRoute: window.model.routeKind === Route.RouteKind.stream || window.model.routeKind === Route.RouteKind.iphone
        session: window.model.session
        keymap: window.model.streamKeymap
        recording: window.model.recording
        panelPositions: window.model.panelPositions
        settings: window.model.settings
        window: window
    }

    Action {
        id: aboutAction

        objectName: "aboutAction"
        text: qsTr("About Vantorel")
        onTriggered: SceneWindows.open("about")
    }
    Action {
        id: settingsAction

        objectName: "settingsAction"
        text: qsTr("Settings…")
        shortcut: "Meta+,"
        onTriggered: SceneWindows.open("settings")
    }
    Action {
        id: quitAction

        objectName: "quitAction"
        text: qsTr("Quit Vantorel")
        shortcut: "Meta+Q"
        onTriggered: window.model.requestQuit()
    }
    Action {
        id: demoAction

        objectName: "demoAction"
        text: qsTr("Demo Mode")
        shortcut: "Meta+Shift+D"
        enabled: window.model.hasDemoStream
        onTriggered: window.model.startDemo()
    }
    Action {
        id: closeStreamAction

        objectName: "closeStreamAction"
        text: qsTr("Close Stream")
        shortcut: "Meta+W"
        enabled: commands.streamRoute
        onTriggered: window.model.closeStream()
    }
    Action {
        id: muteAction

        objectName: "muteAction"
        text: commands.muteTitle
        shortcut: "Meta+Shift+M"
        enabled: commands.streamRoute
        onTriggered: commands.toggleMute()
    }
    Action {
        id: editAction

        objectName: "editAction"
        text: commands.editTitle
        shortcut: "Meta+E"
        enabled: commands.canEdit
        onTriggered: commands.toggleEditor()
    }
    Action {
        id: switchHudAction

        objectName: "switchHudAction"
        text: qsTr("Switch HUD")
        shortcut: "Meta+Shift+H"
        onTriggered: commands.switchHud()
    }
    Action {
        id: recordAction

        objectName: "recordAction"
        text: commands.recordTitle
        shortcut: "Meta+R"
        enabled: commands.canToggleRecording
        onTriggered: window.model.toggleRecording()
    }
    // Where nothing can be recorded its key says why, as its menu item's tooltip does.
    Shortcut {
        sequence: recordAction.shortcut
        enabled: !recordAction.enabled && commands.recordUnavailableReason !== ""
        onActivated: window.model.toggleRecording()
    }

    Action {
        id: fullScreenAction

        objectName: "fullScreenAction"
        text: commands.fullScreenTitle
        shortcut: "Ctrl+Meta+F"
        onTriggered: commands.toggleFullScreen()
    }
    // The desktop's own full-screen key, from every screen.
    Shortcut {
        sequence: "F11"
        onActivated: fullScreenAction.trigger()
    }

    // Quit, Settings and the guide from every window of the app, and over an open menu, which
    // blocks the actions' own shortcuts. Where an action's shortcut matches as well, Qt gives
    // the key to one of the two as an ambiguous shortcut: each press acts once.
    component AppWideShortcut: Shortcut {
        id: appWide

        required property Action action

        sequence: appWide.action.shortcut
        context: Qt.ApplicationShortcut
        onActivated: appWide.action.trigger()
        onActivatedAmbiguously: appWide.action.trigger()
    }
    AppWideShortcut {
        action: quitAction
    }
    AppWideShortcut {
        action: settingsAction
    }
    AppWideShortcut {
        action: helpMenu.guideAction
    }
    // Closing the stream and Demo Mode also over the editor's dialogs and menus, which block the
    // actions' own shortcuts: the editor closes them before it asks about its edits.
    component OverEditorShortcut: AppWideShortcut {
        enabled: window.active && !!window.model.streamKeymap && window.model.streamKeymap.editing
    }
    OverEditorShortcut {
        action: closeStreamAction
    }
    OverEditorShortcut {
        action: demoAction
    }
    // Nor may a menu of the bar, another window of the app or a dialog over this one hide the
    // question: they close as their Cancel or Escape does, and this window comes to the front.
    Connections {
        target: window.model.streamKeymap

        function onPopupsDismissed() {
            for (let i = 0; i < menus.count; ++i)
                menus.menuAt(i).dismiss()
            SceneWindows.closeAll()
            window.updater.dismiss()
            window.model.flashTest.dismiss()
            SceneWindows.bringForward(window)
        }
    }
    // Opening a menu of the bar makes a stream let go of what it holds, as its own menus do.
    // Each menu, the Developer menu put in and taken out included.
    Instantiator {
        model: menus.menus
        delegate: Connections {
            required property Menu modelData

            target: modelData

            function onAboutToShow() {
                MenuTracking.willShow()
            }
            // Opened from the keyboard, a menu lights its first item, so that the arrows and
            // Return act at once.
            function onOpened() {
                if (menus.openedByKey)
                    modelData.lightFrom(0, 1)
            }
            function onVisibleChanged() {
                menus.followMenus()
            }
        }
    }

    DeveloperCommandsModel {
        id: developer

        objectName: "developerCommands"
        streamRoute: window.model.routeKind === Route.RouteKind.stream
        session: window.model.session
        settings: window.model.settings
        flashTest: window.model.flashTest
    }
    // In the menu bar after "Stream" while it shows.
    DeveloperCommands {
        model: window.model
        commands: developer
        menuBar: menus
        after: streamMenu
    }

    menuBar: MenuBar {
        id: menus

        property bool menuOpen: false
        property bool openedByKey: false

        // As a click on its title does, the bar shown first.
        function openFirst() {
            menus.openedByKey = true
            menus.itemAt(0).triggered()
        }
        // With a menu open, the pointer on another title opens that one instead, as on a
        // desktop; `x` is in the window.
        function openUnder(x) {
            if (!menus.menuOpen)
                return
            for (let i = 0; i < menus.count; ++i) {
                const title = menus.itemAt(i)
                const left = title ? title.mapToItem(null, 0, 0).x : 0
                if (title && x >= left && x < left + title.width) {
                    if (title.menu && !title.menu.visible)
                        title.triggered()
                    return
                }
            }
        }
        function anyOpen() {
            for (let i = 0; i < menus.count; ++i) {
                if (menus.menuAt(i).visible)
                    return true
            }
            return false
        }
        function followMenus() {
            menus.menuOpen = menus.anyOpen()
            // Once the arrows' next menu had its turn to open: they keep to the keyboard.
            if (!menus.menuOpen)
                Qt.callLater(menus.forgetKey)
        }
        function forgetKey() {
            if (!menus.anyOpen())
                menus.openedByKey = false
        }

        visible: window.menuBarShown
        // Over a full-screen stream, a click on the bar is not a tap on the phone.
        OverlayControl.registry: window.model.overlayFrames

        // No hover of Qt's own: its bar takes a menu closed with Escape under the pointer for
        // still open, and the next click on it, or on another title, then shuts the menu it
        // opens. The top edge's watch opens another title's menu instead (openUnder).
        delegate: MenuBarItem {
            hoverEnabled: false
        }

        FittingMenu {
            title: qsTr("&Vantorel")

            ShortcutMenuItem {
                action: aboutAction
            }
            ShortcutMenuItem {
                objectName: "checkForUpdates"
                action: UpdateCommands {
                    updater: window.updater
                }
            }
            MenuSeparator {}
            ShortcutMenuItem {
                action: settingsAction
            }
            MenuSeparator {}
            ShortcutMenuItem {
                action: quitAction
            }
        }
        FittingMenu {
            title: qsTr("&File")

            ShortcutMenuItem {
                action: demoAction
            }
        }
        StreamCommands {
            id: streamMenu

            commands: commands
            closeAction: closeStreamAction
            muteAction: muteAction
            editAction: editAction
            switchHudAction: switchHudAction
            recordAction: recordAction
            fullScreenAction: fullScreenAction
            hud: rootView.hud
            showsNotices: rootView.showsNotices
            recording: window.model.recording
            onAcknowledgeNotices: rootView.acknowledgeNotices()
        }
        HelpMenu { id: helpMenu }
    }
    // The desktop's key for the menu bar.
    Shortcut {
        sequence: "F10"
        onActivated: menus.openFirst()
    }

    RootView {
        id: rootView

        anchors.fill: parent
        // A full screen's bar lies over the picture, which stays where it is.
        anchors.topMargin: window.fullScreen && menus.visible ? -menus.height : 0
        model: window.model
    }
    // The top edge of a full screen, and the bar while it shows; it watches the pointer and takes
    // no click. Always shown, so that what it knows of the pointer is never stale.
    Item {
        parent: Overlay.overlay
        width: window.width
        height: menus.visible ? menus.height : 2

        HoverHandler {
            id: topEdge

            // Where the pointer last was on the bar: only a move along it opens another title's
            // menu. Qt hovers again under a pointer at rest as a menu opens, and a full screen's
            // bar shows under it, which would undo F10 and the arrow keys.
            property real pointerX: NaN

            onHoveredChanged: {
                if (!topEdge.hovered)
                    topEdge.pointerX = NaN
            }
            onPointChanged: {
                if (!topEdge.hovered)
                    return
                const x = topEdge.point.scenePosition.x
                const moved = !isNaN(topEdge.pointerX) && x !== topEdge.pointerX
                topEdge.pointerX = x
                if (moved)
                    menus.openUnder(x)
            }
        }
    }

    UpdateAnswerDialog {
        updater: window.updater
    }

    SettingsWindow {
        transientParent: window
        settings: window.model.settings
        streamPlaying: window.model.routeKind === Route.RouteKind.stream && window.model.session !== null
    }
    // The About and Guide windows, each made once and shown on demand.
    Loader {
        objectName: "aboutPlace"
        sourceComponent: AboutWindow {
            transientParent: window
            settings: window.model.settings
        }
    }
    Loader {
        objectName: "guidePlace"
        sourceComponent: GuideWindow {
            transientParent: window
        }
    }
}
