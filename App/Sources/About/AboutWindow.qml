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
    // Exactly as large as its content, whenever the content changes. The desktop holds a window
    // to the bounds it last heard, so they change before the size does, and never cross.
    function fit() {
        const size = Qt.size(content.implicitWidth, content.implicitHeight)
        maximumWidth = Math.max(maximumWidth, size.width)
        minimumWidth = size.width
        maximumWidth = size.width
        maximumHeight = Math.max(maximumHeight, size.height)
        minimumHeight = size.height
        maximumHeight = size.height
        width = size.width
        height = size.height
    }

    Component.onCompleted: {
        fit()
        SceneWindows.add("about", window)
    }

    Shortcut {
        sequence: "Escape"
        onActivated: window.close()
    }

    AboutView {
        id: content
        anchors.fill: parent
        onImplicitWidthChanged: window.fit()
        onImplicitHeightChanged: window.fit()
        settings: window.settings
        bundleRoot: window.bundleRoot
    }
}
