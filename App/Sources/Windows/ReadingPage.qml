import QtQuick
import QtQuick.Controls

// A page read by keyboard as by the wheel: Tab or a click gives it the keys, which scroll it
// (arrows, Page Up and Down, Space, Home, End), and a ring shows that it has them. A page that
// goes on below says so before anyone scrolls it.
GrabbableScrollView {
    id: page

    function scrollTo(y) {
        const view = page.contentItem
        view.contentY = Math.max(0, Math.min(y, view.contentHeight - view.height))
    }
    function scrollBy(distance) {
        page.scrollTo(page.contentItem.contentY + distance)
    }

    contentWidth: availableWidth
    focusPolicy: Qt.StrongFocus
    ScrollBar.vertical.policy: contentHeight > availableHeight ? ScrollBar.AlwaysOn
                                                               : ScrollBar.AsNeeded
    ScrollBar.vertical.objectName: page.objectName + "ScrollBar"

    // Texts on the page ignore these keys, so they come here from a text clicked on too.
    Keys.onPressed: event => {
        const line = 40
        // A line of the last screen stays in sight.
        const screen = Math.max(line, page.availableHeight - line)
        const back = (event.modifiers & Qt.ShiftModifier) !== 0
        switch (event.key) {
        case Qt.Key_Up: page.scrollBy(-line); break
        case Qt.Key_Down: page.scrollBy(line); break
        case Qt.Key_PageUp: page.scrollBy(-screen); break
        case Qt.Key_PageDown: page.scrollBy(screen); break
        case Qt.Key_Space: page.scrollBy(back ? -screen : screen); break
        case Qt.Key_Home: page.scrollTo(0); break
        case Qt.Key_End: page.scrollTo(Infinity); break
        default: return
        }
        event.accepted = true
    }

    // Over the page, so that its texts never cover the ring.
    FocusFrame {
        objectName: page.objectName + "Focus"
        parent: page
        anchors.fill: parent
        z: 1
        shown: page.activeFocus
    }
}
