import QtQuick
import QtQuick.Controls
import Vantorel

// A check box whose focus shows as the buttons' does: the style's own is a one-pixel tint of
// the box's border.
CheckBox {
    id: box

    FocusFrame {
        objectName: "checkFocus"
        anchors.fill: box.indicator
        anchors.margins: -3
        radius: 4
        shown: box.visualFocus
    }
}
