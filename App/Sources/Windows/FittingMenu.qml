import QtQuick
import QtQuick.Controls
import QtQuick.Window
import Vantorel

// A menu as wide as its widest item. Qt's own takes its background's width and cuts a longer
// title, or runs it into its shortcut. A disabled item with a `disabledTip` says why under
// the pointer: it takes no hover itself, so the list tells for it.
Menu {
    id: menu

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
