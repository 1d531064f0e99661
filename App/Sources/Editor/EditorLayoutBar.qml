import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Vantorel

// The row of the editor toolbar that manages the game's layouts: the layout menu, the rename
// dialog, the edited layout's switch key and the reminder of how to save or cancel. Keeps no
// state: renaming is the controller's rename draft, capturing the switch key its capture.
WrappingRow {
    id: bar

    required property KeymapController keymap

    visible: keymap.editing

    RowLayout {
        spacing: 10

        Label {
            text: qsTr("Layout:")
        }

        PushButton {
            id: layoutButton
            objectName: "layoutButton"
            // A long name is elided, as wide as the rename field: the row keeps its other controls.
            Layout.maximumWidth: 240
            Layout.minimumWidth: Math.min(implicitWidth, Layout.maximumWidth)
            contentItem: Text {
                text: bar.keymap.editedLayoutName
                textFormat: Text.PlainText  // names come from files
                elide: Text.ElideRight
                font: layoutButton.font
                color: layoutButton.palette.buttonText
                horizontalAlignment: Text.AlignHCenter
                verticalAlignment: Text.AlignVCenter
            }
            onClicked: layoutMenu.open()

            FittingMenu {
                id: layoutMenu
                onAboutToShow: MenuTracking.willShow()
                objectName: "layoutMenu"
                y: layoutButton.height

                // A question about the edits closes what would hide it, submenus and all.
                Connections {
                    target: bar.keymap
                    function onPopupsDismissed() {
                        layoutMenu.dismiss()
                    }
                }

                Instantiator {
                    model: bar.keymap.layouts
                    delegate: MenuItem {
                        id: layoutItem

                        required property int index
                        required property string name
                        required property bool edited

                        checkable: true
                        checked: edited
                        text: (index + 1) + ". " + name
                        contentItem: Text {
                            leftPadding: layoutItem.indicator.width + layoutItem.spacing
                            text: layoutItem.text
                            textFormat: Text.PlainText
                            font: layoutItem.font
                            color: layoutItem.highlighted ? layoutItem.palette.highlightedText
                                                          : layoutItem.palette.text
                            verticalAlignment: Text.AlignVCenter
                        }
                        onTriggered: {
                            bar.keymap.editLayout(index)
                            // The click toggled the mark; the edited layout decides it.
                            checked = Qt.binding(() => edited)
                        }
                    }
                    onObjectAdded: (index, object) => layoutMenu.insertItem(index, object)
                    onObjectRemoved: (index, object) => layoutMenu.removeItem(object)
                }
                MenuSeparator {}
                FittingMenu {
                    title: qsTr("New Layout")
                    onAboutToShow: MenuTracking.willShow()
                    enabled: bar.keymap.canAddLayout

                    MenuItem {
                        text: qsTr("Empty")
                        onTriggered: bar.keymap.addLayout(false)
                    }
                    MenuItem {
                        text: qsTr("Copy of Current")
                        onTriggered: bar.keymap.addLayout(true)
                    }
                }
                MenuItem {
                    text: qsTr("Rename…")
                    onTriggered: bar.keymap.beginRename()
                }
                MenuItem {
                    text: qsTr("Make Main")
                    enabled: bar.keymap.editedIndex !== 0
                    onTriggered: bar.keymap.makeEditedLayoutMain()
                }
                MenuItem {
                    text: qsTr("Delete")
                    enabled: bar.keymap.canDeleteLayout
                    onTriggered: bar.keymap.deleteEditedLayout()
                }
            }
        }
    }

    WrappingRow.Separator {}

    RowLayout {
        spacing: 10

        Label {
            text: qsTr("Switch key:")
        }
        PushButton {
            objectName: "switchKeyButton"
            text: bar.keymap.captureKind === KeymapController.CaptureKind.switchTrigger
                  ? "…" : bar.keymap.switchTriggerLabel !== "" ? bar.keymap.switchTriggerLabel
                                                                : qsTr("None")
            onClicked: bar.keymap.startCapture(KeymapController.CaptureKind.switchTrigger)
        }
        PushButton {
            text: qsTr("Remove")
            enabled: bar.keymap.switchTriggerLabel !== ""
            onClicked: bar.keymap.clearSwitchTrigger()
        }
    }

    Label {
        height: bar.lineHeight
        leftPadding: 6
        verticalAlignment: Text.AlignVCenter
        text: qsTr("Super+E save · Esc cancel")
        opacity: 0.6
    }

    Dialog {
        objectName: "renameDialog"
        parent: Overlay.overlay
        anchors.centerIn: parent
        modal: true
        closePolicy: Popup.CloseOnEscape
        title: qsTr("Rename Layout")
        visible: bar.keymap.renaming
        // Selected whole, as desktops rename: what is typed replaces the name.
        onOpened: {
            renameField.forceActiveFocus()
            renameField.selectAll()
        }
        // Rename commits before the dialog closes, so this finds nothing left to cancel.
        onClosed: bar.keymap.cancelRename()

        // No maximumLength: it counts UTF-16 units; the controller keeps 40 characters as typed.
        TextField {
            id: renameField
            objectName: "renameField"
            implicitWidth: 240
            placeholderText: qsTr("Name")
            text: bar.keymap.renameDraft
            onTextEdited: bar.keymap.renameDraft = text
            onAccepted: bar.keymap.commitRename()
        }

        footer: DialogButtonBox {
            PushButton {
                text: qsTr("Rename")
                onClicked: bar.keymap.commitRename()
            }
            PushButton {
                text: qsTr("Cancel")
                onClicked: bar.keymap.cancelRename()
            }
        }
    }
}
