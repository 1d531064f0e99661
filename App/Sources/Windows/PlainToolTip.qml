import QtQuick
import QtQuick.Controls

// The app's tooltip: its text shown as written, never as markup (it may come from the phone, a
// file or the network). It goes when its item moves or hides, or its window changes state (full
// screen, minimised): the pointer that showed it is no longer on the item, and Qt hears of that
// only at the pointer's next move.
ToolTip {
    id: tip

    readonly property QtObject window: tip.parent ? tip.parent.Window.window : null
    // The item, and where it was in its window, as the tooltip showed or went to it.
    property Item placedItem: null
    property point itemPlace

    function notePlace() {
        tip.placedItem = tip.parent
        tip.itemPlace = tip.parent ? tip.parent.mapToItem(null, 0, 0) : Qt.point(0, 0)
    }
    function closeIfItemMoved() {
        if (!tip.visible || !tip.parent)
            return
        if (tip.placedItem !== tip.parent) {
            tip.notePlace()
            return
        }
        const place = tip.parent.mapToItem(null, 0, 0)
        if (place.x !== tip.itemPlace.x || place.y !== tip.itemPlace.y)
            tip.close()
    }

    onAboutToShow: tip.notePlace()

    contentItem: Text {
        text: tip.text
        textFormat: Text.PlainText
        font: tip.font
        wrapMode: Text.Wrap
        color: tip.palette.toolTipText
    }

    Connections {
        target: tip.window

        function onVisibilityChanged() {
            tip.close()
        }
    }
    Connections {
        target: tip.parent

        function onVisibleChanged() {
            if (!tip.parent.visible)
                tip.close()
        }
    }
    // Qt moves the tooltip with its item, and also when its own size changes.
    Connections {
        target: tip.contentItem.parent

        function onXChanged() {
            tip.closeIfItemMoved()
        }
        function onYChanged() {
            tip.closeIfItemMoved()
        }
    }
}
