import QtQuick
import QtQuick.Controls

// A picker of a few options as adjoining checkable buttons, its title kept for accessibility.
// The choice is the owner's: the buttons follow `current`.
Row {
    id: segmented

    required property string title
    required property list<string> options
    required property int current

    signal chosen(int index)

    Accessible.role: Accessible.Grouping
    Accessible.name: title

    ButtonGroup {
        id: group
        exclusive: true
    }
    Repeater {
        model: segmented.options
        delegate: Button {
            id: option
            required property int index
            required property string modelData
            objectName: "segment"
            text: modelData
            checkable: true
            checked: index === segmented.current
            ButtonGroup.group: group
            font.pixelSize: 11
            padding: 4
            onClicked: {
                segmented.chosen(index)
                // The click checked it; the owner's value decides.
                checked = Qt.binding(() => option.index === segmented.current)
            }
        }
    }
}
