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
}
