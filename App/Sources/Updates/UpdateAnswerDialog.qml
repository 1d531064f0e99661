import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Vantorel

// The updater's answer, modal over the main window, with the buttons that answer offers.
Dialog {
    id: dialog

    required property AppUpdater updater

    readonly property int answer: dialog.updater.answer
    // Where the keys were as it opened: closed, it gives them back there, as Qt Quick leaves
    // them with no control at all.
    property Item focusBefore: null

    function focusAnswer() {
        if (!dialog.opened)
            return
        const button = dialog.answer === AppUpdater.Answer.offer ? download
                     : dialog.answer === AppUpdater.Answer.saved ? showInFolder : dismiss
        button.forceActiveFocus(Qt.TabFocusReason)
    }

    objectName: "updateAnswer"
    modal: true
    anchors.centerIn: Overlay.overlay
    title: qsTr("Software Update")
    visible: dialog.answer !== AppUpdater.Answer.none
    closePolicy: Popup.CloseOnEscape
    onRejected: dialog.updater.dismiss()
    // The keys go to the answer's own button, which shows it: the screen behind keeps a focus
    // that no key reaches while the dialog is up, and a button the answer hides takes it along.
    onOpened: dialog.focusAnswer()
    onAboutToShow: dialog.focusBefore = dialog.parent ? dialog.parent.Window.activeFocusItem : null
    onClosed: {
        const before = dialog.focusBefore
        const window = dialog.parent ? dialog.parent.Window.window : null
        dialog.focusBefore = null
        if (before && window && before !== window.contentItem && before.visible && before.enabled)
            before.forceActiveFocus(Qt.OtherFocusReason)
        else
            SceneWindows.focusFirstControl(window)
    }
    onAnswerChanged: dialog.focusAnswer()

    Column {
        spacing: 12

        Label {
            width: Math.min(implicitWidth, 420)
            text: dialog.updater.answerText
            textFormat: Text.PlainText
            wrapMode: Text.Wrap
        }
        ProgressBar {
            objectName: "downloadProgress"
            visible: dialog.answer === AppUpdater.Answer.downloading
            width: 420
            indeterminate: dialog.updater.downloadProgress < 0
            value: Math.max(0, dialog.updater.downloadProgress)
        }
    }

    // A row, as the app's other buttons stand: the style's button box keeps a hidden button's room.
    footer: Control {
        padding: 6

        contentItem: RowLayout {
            spacing: 6

            Item {
                Layout.fillWidth: true
            }
            PushButton {
                visible: dialog.answer === AppUpdater.Answer.offer && dialog.updater.hasReleaseNotes
                text: qsTr("Release Notes")
                onClicked: dialog.updater.openReleaseNotes()
            }
            PushButton {
                id: download

                objectName: "download"
                visible: dialog.answer === AppUpdater.Answer.offer
                text: qsTr("Download")
                onClicked: dialog.updater.download()
            }
            PushButton {
                id: showInFolder

                visible: dialog.answer === AppUpdater.Answer.saved
                text: qsTr("Show in Folder")
                onClicked: dialog.updater.showInFolder()
            }
            PushButton {
                id: dismiss

                objectName: "dismiss"
                text: dialog.answer === AppUpdater.Answer.offer ? qsTr("Later")
                      : dialog.answer === AppUpdater.Answer.downloading ? qsTr("Cancel") : qsTr("OK")
                onClicked: dialog.updater.dismiss()
            }
        }
    }
}
