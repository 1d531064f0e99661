import QtQuick
import QtQuick.Controls

// The warning shown once, before key mapping is first used, as a sheet over the stream window.
Dialog {
    modal: true
    anchors.centerIn: parent
    title: qsTr("Online games may notice key mapping")

    Label {
        width: 360
        wrapMode: Text.WordWrap
        text: qsTr("Some online games move players who use key mapping into lobbies with emulator players.")
    }

    footer: DialogButtonBox {
        Button {
            text: qsTr("Continue")
            DialogButtonBox.buttonRole: DialogButtonBox.AcceptRole
        }
    }
}
