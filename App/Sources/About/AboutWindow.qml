import QtQuick
import QtQuick.Controls
import Vantorel

// The one About window, opened by name as "about".
ApplicationWindow {
    id: window

    required property AppSettings settings
    // Empty for the application's own bundle.
    property string bundleRoot

    title: qsTr("About Vantorel")
    // A dialog, so that the desktop keeps it over the window it belongs to.
    flags: Qt.Dialog
    // Exactly as large as its content.
    width: content.implicitWidth
    height: content.implicitHeight
    minimumWidth: width
    maximumWidth: width
    minimumHeight: height
    maximumHeight: height

    Component.onCompleted: SceneWindows.add("about", window)

    Shortcut {
        sequence: "Escape"
        onActivated: window.close()
    }

    AboutView {
        id: content
        anchors.fill: parent
        settings: window.settings
        bundleRoot: window.bundleRoot
    }
}
