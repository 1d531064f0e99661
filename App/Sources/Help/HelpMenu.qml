import QtQuick
import QtQuick.Controls
import Vantorel

// The Help menu: the guide always, the support site's pages while the bundle names one.
FittingMenu {
    id: menu

    // Empty for the application's own bundle.
    property string bundleRoot
    property bool hasSupportLinks: help.hasSupportLinks()
    // Its shortcut works from every window of the app.
    readonly property Action guideAction: openGuide

    title: qsTr("&Help")
    onAboutToShow: hasSupportLinks = help.hasSupportLinks()

    HelpCommands {
        id: help
        bundleRoot: menu.bundleRoot
    }

    ShortcutMenuItem {
        objectName: "guide"
        action: Action {
            id: openGuide

            text: qsTr("Vantorel Guide")
            shortcut: "Meta+?"
            onTriggered: SceneWindows.open("guide")
        }
    }
    // A hidden menu item keeps its place unless its height goes too.
    MenuSeparator {
        visible: menu.hasSupportLinks
        height: menu.hasSupportLinks ? implicitHeight : 0
    }
    MenuItem {
        objectName: "quickFixes"
        visible: menu.hasSupportLinks
        height: menu.hasSupportLinks ? implicitHeight : 0
        text: qsTr("Quick Fixes")
        onTriggered: help.openQuickFixes()
    }
    MenuItem {
        objectName: "contactSupport"
        visible: menu.hasSupportLinks
        height: menu.hasSupportLinks ? implicitHeight : 0
        text: qsTr("Contact Support…")
        onTriggered: help.contactSupport()
    }
    MenuItem {
        objectName: "suggestFeature"
        visible: menu.hasSupportLinks
        height: menu.hasSupportLinks ? implicitHeight : 0
        text: qsTr("Suggest a Feature…")
        onTriggered: help.suggestFeature()
    }
}
