import QtQuick
import QtQuick.Controls
import Vantorel

// A picker of a few options as adjoining checkable buttons, the chosen one filled with the
// accent colour, its title kept for accessibility. The choice is the owner's: the buttons follow
// `current`. An option this computer cannot have stays disabled and says why under the pointer.
Row {
    id: segmented

    required property string title
    required property list<string> options
    required property int current
    // Shown while the pointer rests on any option.
    property string tip
    // No tooltip while the panel holding the switch is dragged.
    property bool moving: false
    // The option that cannot be chosen, -1 for none, and why.
    property int unavailable: -1
    property string unavailableTip
    // A disabled button takes no hover: the switch itself tells.
    readonly property Item hoveredSegment: hover.hovered
                                           ? segmented.childAt(hover.point.position.x,
                                                               hover.point.position.y)
                                           : null

    signal chosen(int index)

    Accessible.role: Accessible.Grouping
    Accessible.name: title

    HoverHandler {
        id: hover
    }
    PlainToolTip {
        visible: !!segmented.hoveredSegment && !segmented.hoveredSegment.enabled
                 && !segmented.moving
        text: segmented.unavailableTip
    }

    ButtonGroup {
        id: group
        exclusive: true
    }
    Repeater {
        model: segmented.options
        delegate: PushButton {
            id: option
            required property int index
            required property string modelData
            objectName: "segment"
            enabled: index !== segmented.unavailable
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
            PlainToolTip {
                visible: option.hovered && !segmented.moving && segmented.tip !== ""
                text: segmented.tip
            }

            contentItem: Text {
                text: option.text
                font: option.font
                color: option.checked ? option.palette.highlightedText : option.palette.buttonText
                opacity: option.enabled ? 1 : 0.5
                horizontalAlignment: Text.AlignHCenter
                verticalAlignment: Text.AlignVCenter
            }
            background: Rectangle {
                implicitWidth: 28
                implicitHeight: 20
                radius: 4
                color: option.checked ? option.palette.highlight
                                      : option.hovered ? option.palette.light : option.palette.button
                opacity: option.enabled ? 1 : 0.5
            }
        }
    }
}
