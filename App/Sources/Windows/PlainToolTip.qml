import QtQuick
import QtQuick.Controls

// A tooltip for text from the phone, a file or the network: shown as written, never as markup.
ToolTip {
    id: tip

    contentItem: Text {
        text: tip.text
        textFormat: Text.PlainText
        font: tip.font
        wrapMode: Text.Wrap
        color: tip.palette.toolTipText
    }
}
