import QtQuick
import QtQuick.Controls
import Vantorel

// The one guide window, opened by name as "guide". Its content exists only while it shows, so
// each opening starts at "Start Here".
ApplicationWindow {
    id: window

    // Empty for the application's own bundle.
    property string bundleRoot

    title: qsTr("Vantorel Guide")
    // A window of its own, read beside the stream, not a dialog: the desktop would keep a dialog
    // above the main window, whose menus, drawn inside it, would then open under it.
    width: 900
    height: 640
    minimumWidth: 720
    minimumHeight: 480

    Component.onCompleted: SceneWindows.add("guide", window)
    onVisibleChanged: content.active = visible
    // close() hides the window without notifying `visible` (Qt 6.4).
    onClosing: content.active = false

    Shortcut {
        sequence: "Escape"
        onActivated: window.close()
    }

    Loader {
        id: content

        objectName: "guideContent"
        anchors.fill: parent
        // The sidebar takes the keys.
        focus: true
        active: false
        // A text with the focus keeps the Escape shortcut from firing, and lets the key by.
        Keys.onEscapePressed: window.close()
        sourceComponent: GuideView {
            bundleRoot: window.bundleRoot
        }
    }
}
