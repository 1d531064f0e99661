import QtQuick
import QtQuick.Controls
import QtQuick.Controls.Fusion
import QtQuick.Controls.Fusion.impl

// The button that Return presses, highlighted as the style fills one (a row of buttons whose
// default comes and goes sets `highlighted`). The style outlines a highlighted button as a
// focused one, focused or not: tabbing there changed nothing, and the control before it looked
// focused beside it. Here the outline is a plain one, and focus rings the button.
PushButton {
    id: button

    highlighted: true

    background: ButtonPanel {
        implicitWidth: 80
        implicitHeight: 24
        control: button
        border.color: Fusion.buttonOutline(button.palette, button.visualFocus, button.enabled)
    }
}
