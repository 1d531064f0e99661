import QtQuick
import QtQuick.Controls

// A scroll view whose vertical bar is the app's, placed where the style places its own.
ScrollView {
    id: view

    ScrollBar.vertical: GrabbableScrollBar {
        parent: view
        x: view.mirrored ? 0 : view.width - width
        y: view.topPadding
        height: view.availableHeight
        active: view.ScrollBar.horizontal.active
    }
}
