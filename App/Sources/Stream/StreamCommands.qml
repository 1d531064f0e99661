import QtQuick
import QtQuick.Controls
import Vantorel

// The "Stream" menu: closing, sound, the keymap editor, the HUD, the panels and recording,
// their titles and enabled states from the commands model.
FittingMenu {
    id: menu

    required property StreamCommandsModel commands
    required property Action closeAction
    required property Action muteAction
    required property Action editAction
    required property Action switchHudAction
    required property Action recordAction
    required property Action fullScreenAction
    // The stream's HUD, while a stream shows.
    property HUDLayerModel hud
    // A notice shows along the window's top.
    property bool showsNotices: false
    // Its outcome shows at the window's bottom corner.
    property RecordingController recording

    readonly property bool showsSaved: !!menu.recording && menu.recording.lastFileName !== ""
    readonly property bool showsRecordingMessage: menu.showsSaved
                                                  || (!!menu.recording
                                                      && menu.recording.errorMessage !== "")

    // As each notice's OK does.
    signal acknowledgeNotices

    readonly property bool showsCard: !!menu.hud && menu.hud.showsBanner

    title: qsTr("&Stream")

    // Ticked while its style is in use. Its own commands: an item's `menu` is the menu it is in.
    component HudStyleItem: RadioMenuItem {
        id: styleItem

        required property StreamCommandsModel commands
        required property int style

        function inUse() {
            const settings = styleItem.commands.settings
            return !!settings && settings.hudStyle === styleItem.style
        }

        checked: inUse()
        onTriggered: {
            if (styleItem.commands.settings)
                styleItem.commands.settings.hudStyle = styleItem.style
            // A click on the ticked item unticked it; the style in use decides.
            styleItem.checked = Qt.binding(() => styleItem.inUse())
        }
    }

    ShortcutMenuItem {
        action: menu.closeAction
    }
    ShortcutMenuItem {
        action: menu.muteAction
    }
    ShortcutMenuItem {
        action: menu.editAction
    }
    FittingMenu {
        title: qsTr("HUD")

        HudStyleItem {
            commands: menu.commands
            text: qsTr("Full")
            style: AppSettings.HUDStyle.full
        }
        HudStyleItem {
            commands: menu.commands
            text: qsTr("Compact")
            style: AppSettings.HUDStyle.compact
        }
        HudStyleItem {
            commands: menu.commands
            text: qsTr("Hidden")
            style: AppSettings.HUDStyle.hidden
        }
    }
    ShortcutMenuItem {
        action: menu.switchHudAction
    }
    MenuItem {
        objectName: "resetPanels"
        text: qsTr("Reset Panel Positions")
        enabled: menu.commands.canResetPanels
        onTriggered: menu.commands.resetPanels()
    }
    MenuSeparator {}
    ShortcutMenuItem {
        action: menu.fullScreenAction
    }
    MenuSeparator {}
    ShortcutMenuItem {
        action: menu.recordAction
        disabledTip: menu.commands.recordUnavailableReason
    }

    // The keyboard's way to the overheating card and the notices: over a stream every key but
    // the menus' is the game's. A hidden item keeps its place unless its height goes too, and is
    // a stop of the menu's keys while enabled.
    component ShownItem: MenuItem {
        property bool shown

        visible: shown
        enabled: shown
        height: shown ? implicitHeight : 0
    }
    MenuSeparator {
        visible: menu.showsCard || menu.showsNotices || menu.showsRecordingMessage
        height: visible ? implicitHeight : 0
    }
    Instantiator {
        id: cardOptions

        // Its items' own `menu` is the menu they are in, once in it.
        readonly property HUDLayerModel hud: menu.hud
        readonly property bool shown: menu.showsCard

        // The option's item goes with the card: the menu closes first, as it does after an
        // item that stays.
        function apply(option) {
            menu.dismiss()
            cardOptions.hud.apply(option)
        }

        model: cardOptions.hud ? cardOptions.hud.bannerOptions : null
        delegate: ShownItem {
            required property int index
            required property string label

            shown: cardOptions.shown
            text: qsTr("Overheating: %1").arg(label)
            onTriggered: cardOptions.apply(index)
        }
        // Before "Not Now", as on the card.
        onObjectAdded: (index, item) => menu.insertItem(menu.count - 2, item)
        onObjectRemoved: (index, item) => menu.removeItem(item)
    }
    ShownItem {
        objectName: "overheatingNotNow"
        shown: menu.showsCard
        text: qsTr("Overheating: Not Now")
        onTriggered: menu.hud.dismiss()
    }
    ShownItem {
        objectName: "acknowledgeNotices"
        shown: menu.showsNotices
        text: qsTr("Hide Notices")
        onTriggered: menu.acknowledgeNotices()
    }
    ShownItem {
        objectName: "recordingShowInFolder"
        shown: menu.showsSaved
        text: qsTr("Recording: Show in Folder")
        onTriggered: menu.recording.revealLastFile()
    }
    ShownItem {
        objectName: "recordingDismiss"
        shown: menu.showsRecordingMessage
        text: qsTr("Recording: Dismiss")
        onTriggered: menu.recording.dismissMessages()
    }
}
