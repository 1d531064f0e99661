import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Qt.labs.folderlistmodel
import Vantorel

// The Export and Import dialog over the stream window, shown while its file chooser has a
// request: the shown folder with its folders first and then its JSON files, and a field for a
// name or a path. As in a desktop file dialog, Return or Enter goes with the field or the focused
// entry or button, Escape cancels, a click beside it changes nothing, and a save that would
// replace a file asks first.
Item {
    id: root

    required property KeymapFileDialogs chooser

    // The focused button is the one Return presses, and looks it.
    component DialogButton: PushButton {
        highlighted: activeFocus
        Keys.onReturnPressed: clicked()
        Keys.onEnterPressed: clicked()
    }

    Dialog {
        id: dialog

        readonly property bool saving: root.chooser.request === KeymapFileDialogs.Request.save

        // A file chosen in the list gives its name to the field, as in desktop file dialogs.
        function choose(index) {
            if (index >= 0 && !folderModel.get(index, "fileIsDir"))
                root.chooser.name = folderModel.get(index, "fileName")
        }

        // A folder opens; a file goes.
        function activate(entry) {
            if (entry && entry.fileIsDir) {
                root.chooser.openFolder(entry.fileUrl)
            } else if (entry) {
                root.chooser.name = entry.fileName
                root.chooser.accept()
            }
        }

        objectName: "fileDialog"
        parent: Overlay.overlay
        anchors.centerIn: parent
        width: Math.min(560, parent ? parent.width - 48 : 560)
        height: Math.min(440, parent ? parent.height - 48 : 440)
        modal: true
        closePolicy: Popup.CloseOnEscape
        title: dialog.saving ? qsTr("Export Layouts") : qsTr("Import Layouts")
        visible: root.chooser.request !== KeymapFileDialogs.Request.none
        onOpened: {
            nameField.forceActiveFocus()
            nameField.selectAll()
        }
        onClosed: root.chooser.reject()

        ColumnLayout {
            anchors.fill: parent
            spacing: 8

            RowLayout {
                Layout.fillWidth: true

                ToolButton {
                    objectName: "parentFolder"
                    text: qsTr("Up")
                    enabled: root.chooser.folderPath !== "/"
                    onClicked: root.chooser.openParentFolder()
                }
                Label {
                    Layout.fillWidth: true
                    text: root.chooser.folderPath
                    elide: Text.ElideLeft
                    textFormat: Text.PlainText
                }
            }
            Frame {
                Layout.fillWidth: true
                Layout.fillHeight: true
                padding: 1

                ListView {
                    id: entries

                    objectName: "fileEntries"
                    anchors.fill: parent
                    clip: true
                    activeFocusOnTab: true
                    boundsBehavior: Flickable.StopAtBounds
                    // Nothing chosen in a folder just shown, until a click or a key.
                    currentIndex: -1
                    ScrollBar.vertical: GrabbableScrollBar {}
                    model: FolderListModel {
                        id: folderModel

                        // Nothing watched while hidden.
                        folder: dialog.visible ? root.chooser.folder : ""
                        nameFilters: ["*.json"]
                        showDirsFirst: true
                        sortCaseSensitive: false
                        onFolderChanged: entries.currentIndex = -1
                    }
                    delegate: PlainItemDelegate {
                        id: entry

                        required property int index
                        required property string fileName
                        required property url fileUrl
                        required property bool fileIsDir

                        objectName: "entry:" + entry.fileName
                        width: ListView.view.width
                        text: root.chooser.entryText(entry.fileName, entry.fileIsDir)
                        highlighted: ListView.isCurrentItem
                        focusPolicy: Qt.NoFocus
                        onClicked: {
                            entries.currentIndex = entry.index
                            dialog.choose(entry.index)
                        }
                        onDoubleClicked: dialog.activate(entry)
                    }
                    // The arrows move the choice only while the list has the keys.
                    onCurrentIndexChanged: {
                        if (entries.activeFocus)
                            dialog.choose(entries.currentIndex)
                    }
                    Keys.onReturnPressed: dialog.activate(entries.currentItem)
                    Keys.onEnterPressed: dialog.activate(entries.currentItem)
                }
                FocusFrame {
                    objectName: "fileEntriesFocus"
                    anchors.fill: entries
                    shown: entries.activeFocus
                }
                Label {
                    objectName: "folderProblem"
                    anchors.centerIn: parent
                    width: parent.width - 24
                    visible: text !== ""
                    text: root.chooser.folderProblem
                    textFormat: Text.PlainText
                    wrapMode: Text.Wrap
                    horizontalAlignment: Text.AlignHCenter
                }
            }
            RowLayout {
                Layout.fillWidth: true

                Label {
                    text: qsTr("File name")
                }
                TextField {
                    id: nameField

                    objectName: "fileNameTextField"
                    Layout.fillWidth: true
                    placeholderText: qsTr("A name, or a path")
                    text: root.chooser.name
                    onTextEdited: root.chooser.name = text
                    onAccepted: root.chooser.accept()
                }
            }
            Label {
                objectName: "fileNameRefusal"
                Layout.fillWidth: true
                visible: text !== ""
                text: root.chooser.refusal
                textFormat: Text.PlainText
                wrapMode: Text.Wrap
                color: "red"
            }
        }

        footer: DialogButtonBox {
            DialogButton {
                objectName: "fileDialogAccept"
                text: dialog.saving ? qsTr("Save") : qsTr("Open")
                enabled: root.chooser.name.trim() !== ""
                onClicked: root.chooser.accept()
            }
            DialogButton {
                objectName: "fileDialogCancel"
                text: qsTr("Cancel")
                onClicked: root.chooser.reject()
            }
        }
    }

    Dialog {
        objectName: "replaceQuestion"
        parent: Overlay.overlay
        anchors.centerIn: parent
        modal: true
        closePolicy: Popup.CloseOnEscape
        title: qsTr("Replace the file?")
        // Set, not taken from the text, which wraps to it.
        contentWidth: 360
        visible: root.chooser.replaceQuestion !== ""
        // Keeping the file is the answer a quick Return gives.
        onOpened: keepButton.forceActiveFocus()
        onClosed: root.chooser.keep()

        Label {
            width: parent.width
            wrapMode: Text.Wrap
            textFormat: Text.PlainText
            text: root.chooser.replaceQuestion
        }

        footer: DialogButtonBox {
            DialogButton {
                objectName: "replaceButton"
                text: qsTr("Replace")
                onClicked: root.chooser.replace()
            }
            DialogButton {
                id: keepButton

                objectName: "keepButton"
                text: qsTr("Cancel")
                onClicked: root.chooser.keep()
            }
        }
    }
}
