import QtQuick
import QtQuick.Controls

// A list entry whose text is shown as written: a name from a file, a folder or the phone is
// never read as markup, which would draw another name or fetch an image it names.
ItemDelegate {
    id: entry

    contentItem: Text {
        text: entry.text
        textFormat: Text.PlainText
        elide: Text.ElideRight
        verticalAlignment: Text.AlignVCenter
        font: entry.font
        color: entry.highlighted ? entry.palette.highlightedText : entry.palette.text
    }
}
