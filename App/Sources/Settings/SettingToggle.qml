import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// A switch whose label is a title with a short note under it.
RowLayout {
    id: toggle

    required property string title
    required property string note
    property alias checked: control.checked

    signal toggled(bool on)

    spacing: 12

    ColumnLayout {
        Layout.fillWidth: true
        spacing: 2

        Label {
            Layout.fillWidth: true
            text: toggle.title
            wrapMode: Text.Wrap
        }
        Label {
            Layout.fillWidth: true
            text: toggle.note
            wrapMode: Text.Wrap
            font.pixelSize: 11
            opacity: 0.7
        }
    }
    Switch {
        id: control

        objectName: toggle.objectName + "Switch"
        Layout.alignment: Qt.AlignTop
        onToggled: toggle.toggled(checked)
    }
}
