import QtQuick
import QtQuick.Controls
import Vantorel

// A switch whose label is a title with a short note under it. Positioned, not laid out: a
// wrapped note then counts with its real height.
Item {
    id: toggle

    required property string title
    required property string note
    // A second note, shown when not empty.
    property string aside
    property alias checked: control.checked

    signal toggled(bool on)

    implicitHeight: Math.max(texts.height, control.implicitHeight)

    Column {
        id: texts

        width: toggle.width - control.width - 12
        spacing: 2

        Label {
            width: parent.width
            text: toggle.title
            wrapMode: Text.Wrap
        }
        Label {
            width: parent.width
            text: toggle.note
            wrapMode: Text.Wrap
            font.pixelSize: 11
            opacity: 0.7
        }
        Label {
            objectName: toggle.objectName + "Aside"
            width: parent.width
            visible: toggle.aside !== ""
            text: toggle.aside
            wrapMode: Text.Wrap
            font.pixelSize: 11
            font.italic: true
        }
    }
    Switch {
        id: control

        objectName: toggle.objectName + "Switch"
        anchors.right: parent.right
        onToggled: toggle.toggled(checked)

        // The style marks focus on the handle alone, which an on switch's fill hides.
        FocusFrame {
            anchors.fill: control.indicator
            anchors.margins: -3
            radius: 4
            shown: control.visualFocus
        }
    }
}
