import QtQuick

// A dark card behind progress shown over a picture, so that its spinner and words read on any
// frame, bright or dimmed. Sized by its content.
Rectangle {
    id: backdrop

    default property alias content: holder.data

    implicitWidth: holder.childrenRect.width + 48
    implicitHeight: holder.childrenRect.height + 40
    radius: 12
    color: Qt.rgba(0, 0, 0, 0.65)

    Item {
        id: holder

        x: 24
        y: 20
        width: backdrop.width - 48
        height: backdrop.height - 40
    }
}
