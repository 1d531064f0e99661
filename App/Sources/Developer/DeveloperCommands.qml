import QtQuick
import QtQuick.Controls
import Vantorel

// The "Developer" menu: the raw stream capture switch and the two ways of starting the flash
// test, in developer mode. It puts itself into the menu bar after `after` while the commands
// model shows it, and takes itself out again: a menu's own visible means open, not present.
FittingMenu {
    id: menu

    required property AppModelBase model
    required property DeveloperCommandsModel commands
    required property MenuBar menuBar
    required property Menu after

    function place() {
        let index = -1
        let at = -1
        for (let i = 0; i < menu.menuBar.count; ++i) {
            const each = menu.menuBar.menuAt(i)
            if (each === menu)
                at = i
            if (each === menu.after)
                index = i + 1
        }
        if (menu.commands.showsMenu && at < 0 && index >= 0)
            menu.menuBar.insertMenu(index, menu)
        // removeMenu() would destroy it, and it could never come back this session.
        else if (!menu.commands.showsMenu && at >= 0)
            menu.menuBar.takeMenu(at)
    }

    objectName: "developerMenu"
    title: qsTr("&Developer")
    Component.onCompleted: menu.place()

    Connections {
        target: menu.commands

        function onStateChanged() {
            menu.place()
        }
    }
    // The bar may make its own menus after this one is complete.
    Connections {
        target: menu.menuBar

        function onCountChanged() {
            menu.place()
        }
    }

    MenuItem {
        objectName: "recordRawStream"
        visible: menu.commands.developerMode
        height: visible ? implicitHeight : 0
        text: qsTr("Record Raw Stream (.qmstream)")
        checkable: true
        checked: menu.model.captureRawStream
        onTriggered: menu.model.captureRawStream = !menu.model.captureRawStream
    }
    MenuItem {
        objectName: "flashTestDataURL"
        visible: menu.commands.developerMode
        height: visible ? implicitHeight : 0
        text: qsTr("Flash Test (data: URL)…")
        enabled: menu.commands.canRequestFlashTest
        onTriggered: menu.model.flashTest.request(FlashTestRunner.Source.dataURL)
    }
    MenuItem {
        objectName: "flashTestDownloadsFile"
        visible: menu.commands.developerMode
        height: visible ? implicitHeight : 0
        text: qsTr("Flash Test (File in Downloads)…")
        enabled: menu.commands.canRequestFlashTest
        onTriggered: menu.model.flashTest.request(FlashTestRunner.Source.downloadsFile)
    }
}
