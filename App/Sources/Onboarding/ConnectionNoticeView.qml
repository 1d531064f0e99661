import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Vantorel

// What the application knows of the phone right now, with what to do about it.
RowLayout {
    id: notice

    required property int kind
    // The product name or the reason; shown as given.
    required property string text
    // Shell commands the notice asks the user to run, for copying.
    property list<string> commands

    readonly property bool warning: kind !== OnboardingScreen.NoticeKind.allowOnPhone
                                    && kind !== OnboardingScreen.NoticeKind.connectCable
    // Shown for copying, in the monospaced font.
    readonly property string command: commands.join("\n")

    spacing: 12

    Spinner {
        visible: notice.kind === OnboardingScreen.NoticeKind.allowOnPhone
        implicitWidth: 20
        implicitHeight: 20
    }
    Image {
        visible: !(notice.kind === OnboardingScreen.NoticeKind.allowOnPhone)
        source: notice.warning ? "../Errors/exclamationmark.triangle.fill.svg" : "cable.connector.svg"
        sourceSize: Qt.size(20, 20)
    }
    ColumnLayout {
        Layout.fillWidth: true
        spacing: 4

        Label {
            objectName: "noticeMessage"
            Layout.fillWidth: true
            wrapMode: Text.Wrap
            textFormat: Text.PlainText  // the product name comes from the phone
            text: {
                switch (notice.kind) {
                case OnboardingScreen.NoticeKind.allowOnPhone:
                    return qsTr("Tap “Allow” on the phone (%1).").arg(notice.text);
                case OnboardingScreen.NoticeKind.failed:
                    return qsTr("Couldn’t connect to the phone.");
                case OnboardingScreen.NoticeKind.anotherAdbRunning:
                    return qsTr("Another adb is using the phone. Quit Android Studio or other adb tools, or run “adb kill-server” in Terminal, then reconnect the cable.");
                case OnboardingScreen.NoticeKind.usbPermission:
                    return qsTr("Vantorel may not use this phone's USB connection yet. Install the USB rule (step 3), then plug the phone in again.");
                case OnboardingScreen.NoticeKind.noUsb:
                    return qsTr("Vantorel cannot reach this computer's USB devices, so it cannot find a phone.");
                default:
                    return qsTr("Connect the cable. Some cables only charge.");
                }
            }
        }
        Label {
            objectName: "noticeHint"
            visible: text !== ""
            Layout.fillWidth: true
            wrapMode: Text.Wrap
            text: notice.kind === OnboardingScreen.NoticeKind.allowOnPhone
                  ? qsTr("Keep the cable connected — Vantorel waits for your answer.")
                  : notice.kind === OnboardingScreen.NoticeKind.noUsb
                  ? qsTr("If Vantorel runs in a container or sandbox, give it /dev/bus/usb, then start it again.")
                  : ""
            color: palette.placeholderText
        }
        TextEdit {
            objectName: "noticeDetail"
            visible: text !== ""
            Layout.fillWidth: true
            text: notice.kind === OnboardingScreen.NoticeKind.failed ? notice.text : notice.command
            font.family: notice.command !== "" ? "monospace" : Qt.application.font.family
            textFormat: TextEdit.PlainText
            readOnly: true
            selectByMouse: true
            wrapMode: TextEdit.Wrap
            color: notice.kind === OnboardingScreen.NoticeKind.failed ? palette.placeholderText
                                                                      : palette.text
            selectionColor: palette.highlight
            selectedTextColor: palette.highlightedText
        }
    }
}
