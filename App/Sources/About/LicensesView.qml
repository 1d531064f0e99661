import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Vantorel

// The licences sheet over the About window, larger than it; it opens on "NOTICE" every time.
Window {
    id: sheet

    required property AboutScreen screen

    objectName: "licensesSheet"
    title: qsTr("Licenses")
    // A dialog, so that the desktop keeps it over the window it belongs to. Not modal: that
    // would block the main window and every other window of the app with it.
    flags: Qt.Dialog
    width: 640
    height: 520
    color: palette.window
    onVisibleChanged: {
        if (visible) {
            screen.select(0)
            page.forceActiveFocus()
        }
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 20
        // A text with the focus keeps the shortcut below from firing, and lets its keys by.
        Keys.onPressed: event => {
            if (event.key === Qt.Key_Return || event.key === Qt.Key_Enter
                    || event.key === Qt.Key_Escape) {
                event.accepted = true
                sheet.close()
            }
        }

        RowLayout {
            Label {
                text: qsTr("Document")
            }
            ComboBox {
                objectName: "document"
                Layout.fillWidth: true
                model: sheet.screen.documentTitles
                currentIndex: sheet.screen.selection
                onActivated: index => sheet.screen.select(index)
            }
        }
        // Read by keyboard at once; the picker is a Tab away.
        ReadingPage {
            id: page

            objectName: "licensePage"
            Layout.fillWidth: true
            Layout.fillHeight: true

            TextEdit {
                objectName: "licenseText"
                width: page.availableWidth
                // Clear of the focus ring.
                padding: 4
                text: sheet.screen.licenseText
                textFormat: TextEdit.PlainText
                readOnly: true
                selectByMouse: true
                wrapMode: TextEdit.Wrap
                font.family: "monospace"
                font.pixelSize: 10
                color: palette.text
                selectionColor: palette.highlight
                selectedTextColor: palette.highlightedText
                // Each document is read from its top.
                onTextChanged: page.scrollTo(0)
            }
        }
        RowLayout {
            Item {
                Layout.fillWidth: true
            }
            DefaultButton {
                objectName: "done"
                text: qsTr("Done")
                onClicked: sheet.close()
            }
        }
    }

    Shortcut {
        sequences: ["Return", "Enter", "Escape"]
        enabled: sheet.visible
        onActivated: sheet.close()
    }
}
