import QtQuick
import QtQuick.Controls
import Vantorel

// Opens the guide window, or brings it to the front.
ToolButton {
    text: qsTr("Vantorel Guide")
    display: AbstractButton.IconOnly
    icon.source: "questionmark.circle.svg"
    PlainToolTip {
        visible: parent.hovered
        text: qsTr("Vantorel Guide")
    }
    onClicked: SceneWindows.open("guide")
}
