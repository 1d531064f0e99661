import QtQuick
import QtQuick.Controls
import Vantorel

// The warning shown once, before key mapping is first used, as a sheet over the stream window.
// It takes the keyboard while it shows, so nothing typed reaches the game; Return or Enter is
// "Continue", its default button.
Dialog {
    id: dialog

    modal: true
    focus: true
    anchors.centerIn: parent
    title: qsTr("Online games may notice key mapping")
    // As a shortcut's focus: the ring shows where Return goes, which a plain focus hides.
    onOpened: continueButton.forceActiveFocus(Qt.ShortcutFocusReason)

    Label {
        width: 360
        wrapMode: Text.WordWrap
        text: qsTr("Some online games move players who use key mapping into lobbies with emulator players.")
    }

    footer: DialogButtonBox {
        DefaultButton {
            id: continueButton

            objectName: "continueButton"
            text: qsTr("Continue")
            DialogButtonBox.buttonRole: DialogButtonBox.AcceptRole
            Keys.onReturnPressed: dialog.accept()
            Keys.onEnterPressed: dialog.accept()
        }
    }
}
