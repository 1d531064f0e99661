import QtQuick
import QtQuick.Controls
import QtQuick.Window
import Vantorel

// A menu as wide as its widest item. Qt's own takes its background's width and cuts a longer
// title, or runs it into its shortcut. A disabled item with a `disabledTip` says why under
// the pointer: it takes no hover itself, so the list tells for it. Down on the last item lights
// the first, and Up on the first the last, as desktop menus do.
Menu {
    id: menu

    // Lights the first item the arrows may light from `index` on, going by `step` (1 or -1);
    // false when there is none.
    function lightFrom(index, step) {
        for (let i = index; i >= 0 && i < menu.count; i += step) {
            const item = menu.itemAt(i)
            // As Qt's arrows, past separators and disabled items; past hidden ones too.
            if (item && item.enabled && item.visible && item.activeFocusOnTab) {
                menu.currentIndex = i
                return true
            }
        }
        return false
    }
    // The arrows' next item, around past the end, where Qt's stop; false when none other is lit.
    function lightNext(step) {
        const before = menu.currentIndex
        if (!menu.lightFrom(menu.currentIndex + step, step))
            menu.lightFrom(step > 0 ? 0 : menu.count - 1, step)
        return menu.currentIndex !== before
    }

    // The control whose ring showed as the menu opened. The keys come back to it as from a popup,
    // for which Qt's controls draw no focus: the ring a keyboard user followed would be gone.
    property Item ringedBefore: null

    onAboutToShow: {
        const window = menu.parent ? menu.parent.Window.window : null
        const item = window ? window.activeFocusItem : null
        menu.ringedBefore = item && item.visualFocus ? item : null
    }
    onClosed: {
        const item = menu.ringedBefore
        menu.ringedBefore = null
        if (item && item.activeFocus)
            item.focusReason = Qt.TabFocusReason
    }

    contentWidth: {
        let widest = 0
        for (let i = 0; i < menu.count; ++i) {
            const item = menu.itemAt(i)
            if (item)
                widest = Math.max(widest, item.implicitWidth)
        }
        return widest
    }

    contentItem: ListView {
        id: list

        readonly property Item hoveredItem: hover.hovered
                                            ? list.itemAt(hover.point.position.x + list.contentX,
                                                          hover.point.position.y + list.contentY)
                                            : null
        readonly property string tip: list.hoveredItem && !list.hoveredItem.enabled
                                      ? list.hoveredItem.disabledTip ?? "" : ""

        implicitHeight: contentHeight
        model: menu.contentModel
        interactive: Window.window
                     ? contentHeight + menu.topPadding + menu.bottomPadding > Window.window.height
                     : false
        clip: true
        currentIndex: menu.currentIndex
        // The lit item has the keys, and lets the arrows by to here.
        Keys.onUpPressed: event => event.accepted = menu.lightNext(-1)
        Keys.onDownPressed: event => event.accepted = menu.lightNext(1)

        ScrollIndicator.vertical: ScrollIndicator {}

        HoverHandler {
            id: hover
        }
        PlainToolTip {
            parent: list.hoveredItem
            visible: list.tip !== "" && menu.opened
            text: list.tip
        }
    }
}
