import QtQuick
import QtQuick.Controls
import Vantorel

// The input mode menu: the current mode (and layout) as its label, the modes the user can switch
// to and, in key mapping, the game's layouts with their Ctrl+Super+digit shortcuts.
ToolButton {
    id: modeButton

    required property StreamToolbarModel toolbar
    readonly property KeymapController keymap: toolbar.keymap
    // The panel holding the button is being dragged.
    property bool moving: false

    objectName: "modeMenuButton"
    enabled: toolbar.canRequestMode
    padding: 4
    contentItem: Row {
        spacing: 4
        Image {
            anchors.verticalCenter: parent.verticalCenter
            source: "../Library/gamecontroller.svg"
            sourceSize: Qt.size(16, 16)
        }
        Text {
            objectName: "modeIndicator"
            anchors.verticalCenter: parent.verticalCenter
            width: Math.min(implicitWidth, 220)
            text: modeButton.toolbar.indicatorText
            textFormat: Text.PlainText  // layout names come from files
            elide: Text.ElideRight
            font: modeButton.font
            color: modeButton.palette.buttonText
        }
    }
    onClicked: menu.open()

    // Ticked while its mode is in use. "&&" shows the title's "&": a lone one marks a mnemonic.
    component ModeAction: Action {
        id: modeAction

        required property StreamToolbarModel toolbar
        required property int entry

        function inUse() {
            return modeAction.toolbar.currentModeEntry === modeAction.entry
        }

        text: modeAction.toolbar.modeTitles[modeAction.entry].replace(/&/g, "&&")
        checkable: true
        checked: inUse()
        onTriggered: {
            modeAction.toolbar.requestMode(modeAction.entry)
            // The click ticked or unticked it; the mode in use decides.
            modeAction.checked = Qt.binding(() => modeAction.inUse())
        }
    }

    HoverHandler {
        id: hover
    }
    PlainToolTip {
        objectName: "modeTip"
        visible: hover.hovered && !menu.visible && !modeButton.moving
        text: qsTr("Control Mode")
    }

    FittingMenu {
        id: menu
        objectName: "modeMenu"
        y: modeButton.height
        onAboutToShow: MenuTracking.willShow()
        // The modes exclude each other.
        delegate: RadioMenuItem {}

        ModeAction {
            toolbar: modeButton.toolbar
            entry: 0
        }
        ModeAction {
            toolbar: modeButton.toolbar
            entry: 1
        }
        MenuSeparator {
            visible: modeButton.toolbar.showsLayouts
            height: visible ? implicitHeight : 0
        }
        MenuItem {
            objectName: "layoutsSection"
            visible: modeButton.toolbar.showsLayouts
            height: visible ? implicitHeight : 0
            text: qsTr("Layouts")
            enabled: false
        }

        Instantiator {
            // When the game's controller goes (the demo in its place), the layouts' items read
            // it once more before they go.
            model: modeButton.toolbar.showsLayouts && modeButton.keymap
                   ? modeButton.keymap.layoutNames : []
            delegate: ShortcutMenuItem {
                id: layoutItem

                required property int index
                required property string modelData

                objectName: "layoutToggle"
                maximumTitleWidth: 260
                action: Action {
                    text: layoutItem.modelData
                    checkable: true
                    checked: !!modeButton.keymap
                             && layoutItem.index === modeButton.keymap.activeLayoutIndex
                    enabled: !!modeButton.keymap && !modeButton.keymap.editing
                    // A game has at most nine layouts.
                    shortcut: layoutItem.index < 9 ? "Ctrl+Meta+" + (layoutItem.index + 1) : ""
                    onTriggered: {
                        modeButton.keymap.requestLayout(layoutItem.index)
                        // The toggle flipped itself; the active layout decides.
                        checked = Qt.binding(
                                    () => !!modeButton.keymap
                                          && layoutItem.index === modeButton.keymap.activeLayoutIndex)
                    }
                }
            }
            // After the two modes, the separator and the section's title.
            onObjectAdded: (index, object) => menu.insertItem(4 + index, object)
            onObjectRemoved: (index, object) => menu.removeItem(object)
        }
    }
}
