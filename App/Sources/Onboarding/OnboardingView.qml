import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Vantorel

// The main window's content while no phone is usable: the three set-up steps with the chosen
// brand's texts, and along the bottom what is known of the phone. The step and brand shown are
// the screen's, which may outlive the view.
Item {
    id: root

    required property AppModelBase model
    required property OnboardingScreen screen

    // The keys go to what Return acts on, ringed, so that a keyboard user sees them from the
    // start: Next, or on the last step, with no Next, the step shown.
    function focusDefault() {
        const target = next.visible ? next : steps.itemAt(root.screen.step - 1)
        if (target)
            target.forceActiveFocus(Qt.TabFocusReason)
    }

    // A button hidden with the keys keeps them, unseen, and Space presses it still.
    function passKeysOn(button) {
        if (!button.visible && button.activeFocus)
            root.focusDefault()
    }

    implicitWidth: 720
    implicitHeight: 440
    // A dialog or a menu open as the screen comes keeps the keys it has.
    Component.onCompleted: {
        if (!SceneWindows.popupHoldsKeys(root))
            root.focusDefault()
    }

    Shortcut {
        sequences: ["Return", "Enter"]
        enabled: root.screen.canGoNext
        onActivated: root.screen.next()
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        RowLayout {
            Layout.fillWidth: true
            Layout.fillHeight: true
            Layout.margins: 24
            spacing: 24

            // One width on every step, however long the step's texts; narrower in a small
            // window, so that the step's own controls keep their room. Cut short in a short one,
            // where Back and Next still lead through the steps.
            Item {
                Layout.preferredWidth: Math.min(Math.max(220, heading.implicitWidth), root.width / 4)
                Layout.minimumWidth: Layout.preferredWidth
                Layout.maximumWidth: Layout.preferredWidth
                Layout.fillHeight: true
                clip: true

                ColumnLayout {
                    objectName: "stepRows"
                    width: parent.width
                    spacing: 8

                    Label {
                        id: heading

                        Layout.fillWidth: true
                        Layout.bottomMargin: 8
                        text: qsTr("Set up your phone")
                        font.pixelSize: 22
                        font.bold: true
                        wrapMode: Text.Wrap
                    }
                    Repeater {
                        id: steps

                        model: root.screen.stepTitles

                        delegate: ItemDelegate {
                            id: row

                            required property int index
                            required property string modelData
                            readonly property bool current: root.screen.step === index + 1

                            objectName: "stepRow" + (index + 1)
                            Layout.fillWidth: true
                            padding: 2
                            // A Tab stop each; Space, Return and Enter show the step, before
                            // the steps' Next takes Return.
                            focusPolicy: Qt.StrongFocus
                            onClicked: root.screen.select(index + 1)
                            Keys.onShortcutOverride: event => event.accepted =
                                                     event.key === Qt.Key_Return
                                                     || event.key === Qt.Key_Enter
                            Keys.onReturnPressed: clicked()
                            Keys.onEnterPressed: clicked()

                            FocusFrame {
                                objectName: "stepFocus"
                                anchors.fill: parent
                                radius: 4
                                shown: row.visualFocus
                            }

                            contentItem: RowLayout {
                                spacing: 8

                                Rectangle {
                                    implicitWidth: 24
                                    implicitHeight: 24
                                    radius: 12
                                    color: row.current ? row.palette.highlight
                                                       : Qt.alpha(row.palette.mid, 0.2)

                                    Label {
                                        anchors.centerIn: parent
                                        text: row.index + 1
                                        font.bold: true
                                        color: row.current ? "white" : row.palette.text
                                    }
                                }
                                Label {
                                    Layout.fillWidth: true
                                    text: row.modelData
                                    wrapMode: Text.Wrap
                                }
                            }
                        }
                    }
                }
            }

            ToolSeparator {
                Layout.fillHeight: true
            }

            ColumnLayout {
                Layout.fillWidth: true
                Layout.fillHeight: true
                Layout.alignment: Qt.AlignTop | Qt.AlignLeft
                spacing: 16

                // Scrolls in a short window; Back and Next stay in view below it.
                GrabbableScrollView {
                    id: stepScroll

                    Layout.fillWidth: true
                    Layout.fillHeight: true
                    contentWidth: availableWidth
                    // Shown while the step is cut, so that it reads as more to scroll.
                    ScrollBar.vertical.policy: contentHeight > availableHeight
                                               ? ScrollBar.AlwaysOn : ScrollBar.AsNeeded

                    ColumnLayout {
                        width: stepScroll.availableWidth
                        spacing: 16

                        Label {
                            objectName: "stepTitle"
                            Layout.fillWidth: true
                            text: root.screen.stepTitles[root.screen.step - 1]
                            font.pixelSize: 20
                            font.bold: true
                            wrapMode: Text.Wrap
                        }
                        RowLayout {
                            objectName: "vendorPicker"
                            Layout.fillWidth: true
                            visible: root.screen.showsVendorPicker
                            spacing: 8

                            Label {
                                Layout.alignment: Qt.AlignTop
                                topPadding: 6
                                text: qsTr("Phone")
                            }
                            // Segmented: one checkable button per brand, on a second
                            // line sooner than cut off.
                            Flow {
                                Layout.fillWidth: true
                                Repeater {
                                    model: root.screen.vendorTitles

                                    delegate: PushButton {
                                        required property int index
                                        required property string modelData

                                        objectName: "vendor:" + modelData
                                        text: modelData
                                        checkable: true
                                        checked: root.screen.vendor === index
                                        onClicked: root.screen.setVendor(index)
                                    }
                                }
                            }
                        }
                        StepList {
                            objectName: "stepList"
                            Layout.fillWidth: true
                            steps: root.screen.steps
                            commandsStep: root.screen.commandsStep
                            commands: root.screen.commands
                        }
                        Label {
                            objectName: "allowHint"
                            Layout.fillWidth: true
                            visible: root.screen.allowHint !== ""
                            text: root.screen.allowHint
                            color: palette.placeholderText
                            wrapMode: Text.Wrap
                        }
                    }
                }
                RowLayout {
                    Layout.fillWidth: true

                    PushButton {
                        id: back

                        objectName: "back"
                        visible: root.screen.canGoBack
                        text: qsTr("Back")
                        onClicked: root.screen.back()
                        onVisibleChanged: root.passKeysOn(back)
                    }
                    Item {
                        Layout.fillWidth: true
                    }
                    DefaultButton {
                        id: next

                        objectName: "next"
                        visible: root.screen.canGoNext
                        text: qsTr("Next")
                        onClicked: root.screen.next()
                        onVisibleChanged: root.passKeysOn(next)
                    }
                }
            }
        }

        MenuSeparator {
            Layout.fillWidth: true
            padding: 0
        }

        RowLayout {
            objectName: "bottomBar"
            Layout.fillWidth: true
            Layout.margins: 16

            ConnectionNoticeView {
                Layout.fillWidth: true
                kind: root.screen.noticeKind
                text: root.screen.noticeText
                commands: root.screen.noticeCommands
            }
            PushButton {
                id: copyDiagnostics

                objectName: "copyDiagnostics"
                visible: root.screen.noticeKind === OnboardingScreen.NoticeKind.failed
                text: qsTr("Copy Diagnostics")
                onClicked: root.screen.copyDiagnostics()
                onVisibleChanged: root.passKeysOn(copyDiagnostics)
            }
            IPhoneEntry {
                model: root.model
            }
            PushButton {
                id: tryDemo

                objectName: "tryDemo"
                visible: root.model.hasDemoStream
                flat: true
                text: qsTr("Try Demo Mode")
                onClicked: root.model.startDemo()
                // Return and Enter too, as a desktop button takes them, before the steps' Next.
                Keys.onShortcutOverride: event => event.accepted = event.key === Qt.Key_Return
                                         || event.key === Qt.Key_Enter
                Keys.onReturnPressed: clicked()
                Keys.onEnterPressed: clicked()
                // A link at rest, not only under the pointer.
                contentItem: Label {
                    text: tryDemo.text
                    font.underline: true
                    color: tryDemo.palette.link
                    horizontalAlignment: Text.AlignHCenter
                    verticalAlignment: Text.AlignVCenter
                }
                background: Rectangle {
                    visible: tryDemo.visualFocus
                    color: "transparent"
                    border.color: tryDemo.palette.highlight
                    radius: 3
                }

                HoverHandler {
                    cursorShape: Qt.PointingHandCursor
                }
            }
        }
    }

    // Numbered from 1; the udev rule's commands, for copying, under the step they belong to.
    component StepList: ColumnLayout {
        id: list

        property list<string> steps
        property int commandsStep: -1
        property list<string> commands

        spacing: 8

        Repeater {
            model: list.steps

            delegate: ColumnLayout {
                id: entry

                required property int index
                required property string modelData

                Layout.fillWidth: true
                spacing: 6

                RowLayout {
                    Layout.fillWidth: true
                    spacing: 8

                    Label {
                        objectName: "stepNumber"
                        Layout.alignment: Qt.AlignTop
                        text: (entry.index + 1) + "."
                        color: palette.placeholderText
                    }
                    Label {
                        objectName: "stepText"
                        Layout.fillWidth: true
                        text: entry.modelData
                        wrapMode: Text.Wrap
                    }
                }
                Repeater {
                    model: entry.index === list.commandsStep ? list.commands : []

                    // A TextInput: a read-only TextEdit with the focus takes every shortcut's
                    // key, the app's own too, and a click leaves it there.
                    delegate: TextInput {
                        required property string modelData

                        objectName: "command"
                        Layout.fillWidth: true
                        Layout.leftMargin: 24
                        text: modelData
                        readOnly: true
                        selectByMouse: true
                        wrapMode: TextInput.WrapAnywhere
                        font.family: "monospace"
                        color: palette.text
                        selectionColor: palette.highlight
                        selectedTextColor: palette.highlightedText
                    }
                }
            }
        }
    }
}
