import QtQuick
import QtQuick.Controls
import Vantorel

// A menu item that shows its action's shortcut right-aligned, as Linux menus do. The title is
// plain text (names from files stay as written), cut short past `maximumTitleWidth`.
MenuItem {
    id: item

    readonly property string shortcutText: item.action ? MenuShortcuts.text(item.action.shortcut) : ""
    property real maximumTitleWidth: 360
    // Why the item is disabled, shown under the pointer by its FittingMenu.
    property string disabledTip

    contentItem: Item {
        readonly property real indicatorPadding: item.checkable && item.indicator ? item.indicator.width + item.spacing : 0
        readonly property color textColor: item.down || item.highlighted ? item.palette.highlightedText
                                                                        : item.palette.text

        implicitWidth: indicatorPadding + title.width
                       + (item.shortcutText !== "" ? 32 + keys.implicitWidth : 0)
        implicitHeight: Math.max(title.implicitHeight, keys.implicitHeight)

        Text {
            id: title

            x: parent.indicatorPadding
            width: Math.min(implicitWidth, item.maximumTitleWidth)
            anchors.verticalCenter: parent.verticalCenter
            text: item.text
            textFormat: Text.PlainText
            elide: Text.ElideRight
            font: item.font
            color: parent.textColor
        }
        Text {
            id: keys

            objectName: "shortcut"
            anchors.right: parent.right
            anchors.verticalCenter: parent.verticalCenter
            text: item.shortcutText
            font: item.font
            color: parent.textColor
            opacity: 0.7
        }
    }
}
