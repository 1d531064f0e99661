import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Vantorel

// The About window's content: icon, name and version, the open-source notice and the licences.
// An Alt-click on the version line switches developer mode.
Pane {
    id: root

    required property AppSettings settings
    // Empty for the application's own bundle.
    property string bundleRoot

    padding: 28

    AboutScreen {
        id: screen
        settings: root.settings
        bundleRoot: root.bundleRoot
    }

    ColumnLayout {
        width: 360
        spacing: 12

        Image {
            Layout.alignment: Qt.AlignHCenter
            source: "../../Resources/linux/vantorel.svg"
            sourceSize: Qt.size(96, 96)
        }
        Label {
            Layout.alignment: Qt.AlignHCenter
            text: "Vantorel"
            font.pixelSize: 22
            font.bold: true
        }
        Label {
            objectName: "version"
            Layout.alignment: Qt.AlignHCenter
            text: qsTr("Version %1").arg(screen.version)
            textFormat: Text.PlainText
            color: palette.placeholderText

            MouseArea {
                anchors.fill: parent
                onClicked: mouse => screen.versionClicked(mouse.modifiers)
            }
        }
        Label {
            objectName: "developerModeOn"
            Layout.alignment: Qt.AlignHCenter
            visible: root.settings.developerMode
            text: qsTr("Developer mode is on")
            font.pixelSize: 11
            color: "orange"
        }
        Label {
            Layout.fillWidth: true
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.Wrap
            text: qsTr("Vantorel includes quillmere-server (Apache License 2.0, modified) and open-source libraries (see Licenses).")
            color: palette.placeholderText
        }
        Button {
            objectName: "licenses"
            Layout.alignment: Qt.AlignHCenter
            text: qsTr("Licenses")
            onClicked: licenses.show()
        }
    }

    LicensesView {
        id: licenses
        screen: screen
        transientParent: root.Window.window
    }
}
