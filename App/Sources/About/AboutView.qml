import QtQuick
import QtQuick.Controls
import Vantorel

// The About window's content: icon, name and version, the open-source notice and the licences.
// An Alt-click or a Ctrl-click on the version line switches developer mode.
Pane {
    id: root

    required property AppSettings settings
    // Empty for the application's own bundle.
    property string bundleRoot

    padding: 28
    // The wrapped notice would otherwise widen the window to its one-line length.
    contentWidth: 360
    contentHeight: column.height

    AboutScreen {
        id: screen
        settings: root.settings
        bundleRoot: root.bundleRoot
    }

    // Positioned, not laid out: the wrapped notice then counts with its real height from the
    // start, and the window opens at its final size.
    Column {
        id: column

        anchors.horizontalCenter: parent.horizontalCenter
        width: 360
        spacing: 12

        Image {
            anchors.horizontalCenter: parent.horizontalCenter
            source: "../../Resources/linux/vantorel.svg"
            sourceSize: Qt.size(96, 96)
        }
        Label {
            anchors.horizontalCenter: parent.horizontalCenter
            text: "Vantorel"
            font.pixelSize: 22
            font.bold: true
        }
        Label {
            objectName: "version"
            anchors.horizontalCenter: parent.horizontalCenter
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
            anchors.horizontalCenter: parent.horizontalCenter
            visible: root.settings.developerMode
            text: qsTr("Developer mode is on")
            font.pixelSize: 11
            color: "orange"
        }
        Label {
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.Wrap
            text: qsTr("Vantorel works with quillmere-server (Apache License 2.0, not part of Vantorel's source) and uses open-source libraries (see Licenses).")
            color: palette.placeholderText
        }
        PushButton {
            objectName: "licenses"
            anchors.horizontalCenter: parent.horizontalCenter
            text: qsTr("Licenses")
            onClicked: SceneWindows.bringForward(licenses)
        }
    }

    LicensesView {
        id: licenses
        screen: screen
        transientParent: root.Window.window
        Component.onCompleted: SceneWindows.add("licenses", licenses)
    }
    // The sheet goes with the window it belongs to.
    Connections {
        target: root.Window.window

        function onClosing() {
            licenses.close()
        }
    }
}
