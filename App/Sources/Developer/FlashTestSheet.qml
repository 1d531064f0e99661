import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Vantorel

// The flash test's sheet over the main window: the user's go, then the report or the failure,
// as the runner stands. Shown while the runner presents it; every button goes through it.
Dialog {
    id: sheet

    required property FlashTestRunner runner
    // A stream runs that the test can measure.
    required property bool hasStream

    // Start: the owner runs the test on the app model's stream.
    signal startRequested

    readonly property int stateKind: sheet.runner.stateKind

    // The keys, and the ring that shows them, go to the button Return presses, Cancel where Start
    // cannot: the screen behind kept a focus that no key reached while the sheet was up.
    function focusReturnButton() {
        if (!sheet.opened)
            return
        const button = sheet.stateKind === FlashTestRunner.StateKind.confirm
                     ? (startButton.enabled ? startButton : cancelButton)
                     : sheet.stateKind === FlashTestRunner.StateKind.finished ? closeReportButton
                     : sheet.stateKind === FlashTestRunner.StateKind.failed ? closeFailureButton
                     : null
        if (button)
            button.forceActiveFocus(Qt.ShortcutFocusReason)
    }

    // The button Return presses while it shows.
    component ReturnButton: DefaultButton {
        id: button

        Shortcut {
            sequences: ["Return", "Enter"]
            enabled: button.visible && button.enabled
            onActivated: button.clicked()
        }
    }

    objectName: "flashTestSheet"
    modal: true
    anchors.centerIn: Overlay.overlay
    width: 520
    padding: 24
    visible: sheet.runner.isPresented
    closePolicy: Popup.CloseOnEscape
    onRejected: sheet.runner.dismiss()
    onOpened: sheet.focusReturnButton()


    ColumnLayout {
        width: parent.width
        spacing: 16

        Label {
            text: qsTr("Flash Test")
            font.pixelSize: 22
            font.bold: true
        }

        Label {
            visible: sheet.stateKind === FlashTestRunner.StateKind.confirm
            Layout.fillWidth: true
            wrapMode: Text.Wrap
            text: qsTr("The test opens a black/green page in the phone's browser for about 25 seconds, on top of the current app. Continue?")
        }
        Label {
            objectName: "startStreamHint"
            visible: sheet.stateKind === FlashTestRunner.StateKind.confirm && !sheet.hasStream
            Layout.fillWidth: true
            wrapMode: Text.Wrap
            opacity: 0.6
            text: qsTr("Start a stream first.")
        }
        RowLayout {
            visible: sheet.stateKind === FlashTestRunner.StateKind.confirm
            Layout.fillWidth: true

            PushButton {
                id: cancelButton

                objectName: "cancelButton"
                text: qsTr("Cancel")
                onClicked: sheet.runner.cancel()
            }
            Item {
                Layout.fillWidth: true
            }
            ReturnButton {
                id: startButton

                objectName: "startButton"
                text: qsTr("Start")
                enabled: sheet.hasStream
                onClicked: sheet.startRequested()
                onEnabledChanged: sheet.focusReturnButton()
            }
        }

        TextEdit {
            objectName: "summary"
            visible: sheet.stateKind === FlashTestRunner.StateKind.finished
            Layout.fillWidth: true
            readOnly: true
            selectByMouse: true
            wrapMode: TextEdit.Wrap
            textFormat: TextEdit.PlainText
            font.family: "monospace"
            color: sheet.runner.reportFlagged ? "orange" : sheet.palette.text
            text: sheet.runner.summary
        }
        RowLayout {
            visible: sheet.stateKind === FlashTestRunner.StateKind.finished
            Layout.fillWidth: true

            PushButton {
                objectName: "copyButton"
                text: qsTr("Copy")
                onClicked: sheet.runner.copySummary()
            }
            Item {
                Layout.fillWidth: true
            }
            ReturnButton {
                id: closeReportButton

                objectName: "closeReportButton"
                text: qsTr("Close")
                onClicked: sheet.runner.cancel()
            }
        }

        Label {
            objectName: "failure"
            visible: sheet.stateKind === FlashTestRunner.StateKind.failed
            Layout.fillWidth: true
            wrapMode: Text.Wrap
            textFormat: Text.PlainText
            text: sheet.runner.failureMessage
        }
        RowLayout {
            visible: sheet.stateKind === FlashTestRunner.StateKind.failed
            Layout.fillWidth: true

            Item {
                Layout.fillWidth: true
            }
            ReturnButton {
                id: closeFailureButton

                objectName: "closeFailureButton"
                text: qsTr("Close")
                onClicked: sheet.runner.cancel()
            }
        }

        Spinner {
            visible: sheet.stateKind === FlashTestRunner.StateKind.running
                     || sheet.stateKind === FlashTestRunner.StateKind.idle
            Layout.alignment: Qt.AlignHCenter
        }
    }
}
