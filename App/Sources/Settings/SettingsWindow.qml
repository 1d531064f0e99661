import QtQuick
import QtQuick.Controls
import QtQuick.Window
import Vantorel

// The settings window, opened by name as "settings": made once, shown on demand, as tall as
// its form while the screen has room. On a shorter screen the form scrolls, and a control that
// takes the keyboard focus is scrolled into view.
ApplicationWindow {
    id: window

    required property AppSettings settings
    property bool streamPlaying: false
    // The screen's height left for the window and its frame.
    property real screenRoom: Screen.desktopAvailableHeight

    title: qsTr("Settings")
    // A dialog, so that the desktop keeps it over the window it belongs to.
    flags: Qt.Dialog
    width: form.width
    // From the maximum, so that a form grown by a note raises the maximum first: the window
    // manager keeps a window within the last maximum it heard of.
    height: Math.min(window.maximumHeight, Math.max(240, screenRoom - 64))
    minimumWidth: width
    maximumWidth: width
    minimumHeight: 240
    maximumHeight: form.implicitHeight

    Component.onCompleted: SceneWindows.add("settings", window)
    onActiveFocusItemChanged: scroller.reveal(activeFocusItem)

    Shortcut {
        sequence: "Escape"
        onActivated: window.close()
    }

    GrabbableScrollView {
        id: scroller

        objectName: "settingsScroller"
        anchors.fill: parent
        contentWidth: availableWidth
        contentHeight: form.implicitHeight

        function reveal(item) {
            let inForm = item
            while (inForm && inForm !== form)
                inForm = inForm.parent
            if (!inForm)
                return
            const flick = scroller.contentItem
            const margin = 12
            const top = item.mapToItem(form, 0, 0).y - margin
            const bottom = top + item.height + 2 * margin
            if (top < flick.contentY)
                flick.contentY = Math.max(0, top)
            else if (bottom > flick.contentY + flick.height)
                flick.contentY = Math.min(flick.contentHeight - flick.height, bottom - flick.height)
        }

        SettingsView {
            id: form

            settings: window.settings
            streamPlaying: window.streamPlaying
        }
    }
}
