import QtQuick
import QtQuick.Controls
import Vantorel

// The app's push button. Its focus shows as a ring around it, as a default button's, a switch's
// and a check box's do: the style's own is a one-pixel tint of the outline, which hardly shows
// and is lost on a dark card.
Button {
    id: button

    FocusFrame {
        objectName: "focusRing"
        anchors.fill: parent
        anchors.margins: -3
        radius: 4
        shown: button.visualFocus
    }
}
