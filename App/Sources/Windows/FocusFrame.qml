import QtQuick

// Where the keys go, drawn over an item that has no focus look of its own.
Rectangle {
    property bool shown

    visible: shown
    color: "transparent"
    border.color: palette.highlight
    border.width: 2
}
