import QtQuick
import QtQuick.Controls
import Vantorel

// The "Stream" menu: closing, sound, the keymap editor, the HUD, the panels and recording,
// their titles and enabled states from the commands model.
Menu {
    id: menu

    required property StreamCommandsModel commands
    required property Action closeAction
    required property Action muteAction
    required property Action editAction
    required property Action switchHudAction
    required property Action recordAction

    title: qsTr("&Stream")

    component HudStyleItem: MenuItem {
        required property int style

        checkable: true
        // Bound before the menu has its commands.
        checked: !!menu.commands && !!menu.commands.settings && menu.commands.settings.hudStyle === style
        onTriggered: menu.commands.settings.hudStyle = style
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
    Menu {
        title: qsTr("HUD")

        HudStyleItem {
            text: qsTr("Full")
            style: AppSettings.HUDStyle.full
        }
        HudStyleItem {
            text: qsTr("Compact")
            style: AppSettings.HUDStyle.compact
        }
        HudStyleItem {
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
        action: menu.recordAction
    }
}
