import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Vantorel

// The panel of editing controls over the stream: the layout bar, a row of commands and, while
// an action is selected, its inspector. Every control edits through the keymap controller.
Pane {
    id: toolbar

    required property KeymapController keymap
    // The widest the panel may be; its rows wrap within it.
    property real maximumWidth: Infinity
    readonly property real rowWidth: maximumWidth - leftPadding - rightPadding

    padding: 10
    background: Rectangle {
        radius: 10
        color: Qt.rgba(palette.window.r, palette.window.g, palette.window.b, 0.9)
    }

    // A slot's trigger; pressed, the next input the user gives becomes it.
    component TriggerButton: PushButton {
        required property KeymapController keymap
        required property string actionId
        required property int slot
        required property string slotLabel
        required property string trigger
        readonly property bool capturing: keymap.captureKind === KeymapController.CaptureKind.slot
                                          && keymap.captureActionId === actionId
                                          && keymap.captureSlot === slot

        text: slotLabel + ": " + (capturing ? "…" : trigger)
        onClicked: keymap.startCapture(KeymapController.CaptureKind.slot, actionId, slot)
    }

    // A drag of the slider shows its rounded value and commits once, when it ends.
    component SensitivityControl: RowLayout {
        id: sensitivity

        required property real value
        property var draft  // undefined while no drag is under way
        readonly property real shown: draft !== undefined ? draft : value
        signal commit(real value)

        spacing: 10

        Label {
            text: qsTr("Sensitivity")
        }
        Slider {
            objectName: "sensitivitySlider"
            Layout.preferredWidth: 160
            from: 0.1
            to: 5.0
            value: sensitivity.shown
            // Keys stay with the editor: a keyboard step would leave a draft uncommitted.
            focusPolicy: Qt.NoFocus
            onMoved: sensitivity.draft = Math.round(value * 10) / 10
            onPressedChanged: {
                if (pressed || sensitivity.draft === undefined)
                    return
                const committed = sensitivity.draft
                sensitivity.draft = undefined
                sensitivity.commit(committed)
            }
        }
        Label {
            objectName: "sensitivityValue"
            text: sensitivity.shown.toLocaleString(Qt.locale(), "f", 1)
            font.family: "monospace"
        }
    }

    // Positioned, not laid out: a layout would set the wrapping rows' widths.
    Column {
        spacing: 8

        EditorLayoutBar {
            anchors.horizontalCenter: parent.horizontalCenter
            keymap: toolbar.keymap
            maximumWidth: toolbar.rowWidth
        }

        WrappingRow {
            objectName: "commands"
            anchors.horizontalCenter: parent.horizontalCenter
            maximumWidth: toolbar.rowWidth

            RowLayout {
                spacing: 10

                PushButton {
                    text: qsTr("Tap")
                    onClicked: toolbar.keymap.startCapture(KeymapController.CaptureKind.newTap)
                }
                PushButton {
                    text: qsTr("Stick")
                    onClicked: toolbar.keymap.addStick(0.2, 0.7)
                }
                PushButton {
                    text: qsTr("Look")
                    enabled: toolbar.keymap.editing && !toolbar.keymap.hasLook
                    onClicked: toolbar.keymap.addLook()
                }
                PushButton {
                    id: templatesButton
                    text: qsTr("Templates")
                    onClicked: templates.open()

                    FittingMenu {
                        id: templates
                        onAboutToShow: MenuTracking.willShow()
                        y: templatesButton.height

                        // A question about the edits closes what would hide it.
                        Connections {
                            target: toolbar.keymap
                            function onPopupsDismissed() {
                                templates.dismiss()
                            }
                        }

                        MenuItem {
                            text: qsTr("Shooter")
                            onTriggered: toolbar.keymap.applyTemplate(
                                             KeymapController.ProfileTemplate.shooter)
                        }
                        MenuItem {
                            text: qsTr("MOBA")
                            onTriggered: toolbar.keymap.applyTemplate(
                                             KeymapController.ProfileTemplate.moba)
                        }
                    }
                }
                RingedCheckBox {
                    text: qsTr("Labels")
                    checked: toolbar.keymap.showLabels
                    onToggled: {
                        toolbar.keymap.setShowLabels(checked)
                        checked = Qt.binding(() => toolbar.keymap.showLabels)
                    }
                }
            }
            WrappingRow.Separator {}
            RowLayout {
                spacing: 10

                PushButton {
                    action: Action {
                        id: undoAction

                        text: qsTr("Undo")
                        enabled: toolbar.keymap.canUndo
                        onTriggered: toolbar.keymap.undo()
                    }
                }
                // Super+Z like the app's other shortcuts; Ctrl+Z because desktop editors undo
                // with it.
                Shortcut {
                    sequences: ["Meta+Z", "Ctrl+Z"]
                    enabled: undoAction.enabled
                    onActivated: undoAction.trigger()
                }
                PushButton {
                    text: qsTr("Import…")
                    onClicked: toolbar.keymap.importProfile()
                }
                PushButton {
                    text: qsTr("Export…")
                    onClicked: toolbar.keymap.exportProfile()
                }
            }
            WrappingRow.Separator {}
            RowLayout {
                spacing: 10

                // Esc is the controller's, which asks before unsaved edits are dropped.
                PushButton {
                    text: qsTr("Cancel")
                    onClicked: toolbar.keymap.cancelEditing()
                }
                DefaultButton {
                    action: Action {
                        text: qsTr("Save")
                        shortcut: "Return"
                        onTriggered: toolbar.keymap.save()
                    }
                }
            }
        }

        RowLayout {
            objectName: "inspector"
            anchors.horizontalCenter: parent.horizontalCenter
            visible: toolbar.keymap.selection !== ""
            spacing: 10

            // Only the selected action's controls are made, afresh for each action.
            Repeater {
                model: toolbar.keymap.actions
                delegate: Loader {
                    id: inspected

                    required property var model

                    active: model.selected
                    visible: active
                    sourceComponent: model.kind === KeymapController.ActionKind.look
                                     ? lookControls
                                     : model.kind === KeymapController.ActionKind.stick
                                       ? stickControls : tapControls

                    Component {
                        id: tapControls
                        TriggerButton {
                            keymap: toolbar.keymap
                            actionId: inspected.model.actionId
                            slot: KeymapEditorModel.TriggerSlot.tap
                            slotLabel: qsTr("Key")
                            trigger: inspected.model.label
                        }
                    }
                    Component {
                        id: stickControls
                        RowLayout {
                            spacing: 10
                            Repeater {
                                model: [[KeymapEditorModel.TriggerSlot.up, "↑", "upLabel"],
                                        [KeymapEditorModel.TriggerSlot.down, "↓", "downLabel"],
                                        [KeymapEditorModel.TriggerSlot.left, "←", "leftLabel"],
                                        [KeymapEditorModel.TriggerSlot.right, "→", "rightLabel"]]
                                delegate: TriggerButton {
                                    required property var modelData
                                    keymap: toolbar.keymap
                                    actionId: inspected.model.actionId
                                    slot: modelData[0]
                                    slotLabel: modelData[1]
                                    trigger: inspected.model[modelData[2]]
                                }
                            }
                        }
                    }
                    Component {
                        id: lookControls
                        SensitivityControl {
                            value: inspected.model.sensitivity
                            onCommit: (value) => toolbar.keymap.setSensitivity(
                                          inspected.model.actionId, value)
                        }
                    }
                }
            }
            PushButton {
                action: Action {
                    id: deleteAction

                    text: qsTr("Delete")
                    enabled: toolbar.keymap.selection !== ""
                    onTriggered: toolbar.keymap.deleteAction(toolbar.keymap.selection)
                }
            }
            // The PC's Backspace is the Mac's Delete key; Delete, on the keypad too, is the
            // desktop's. Qt matches the keypad's key to "Delete" by itself.
            Shortcut {
                sequences: ["Backspace", "Delete"]
                enabled: deleteAction.enabled
                onActivated: deleteAction.trigger()
            }
        }
    }
}
