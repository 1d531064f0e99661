import QtQuick
import QtQuick.Controls
import QtQuick.Controls.Fusion.impl

// A menu item for one of a few exclusive choices: ticked with a round mark, as radio items are.
MenuItem {
    id: item

    checkable: true
    indicator: RadioIndicator {
        x: item.mirrored ? item.width - width - item.rightPadding : item.leftPadding
        y: item.topPadding + (item.availableHeight - height) / 2
        control: item
        visible: item.checkable
    }
}
