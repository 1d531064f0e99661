import QtQuick
import QtQuick.Controls

// A busy indicator that turns in eight steps a second rather than at the display's rate: each
// step redraws the whole window, which on software OpenGL costs a core at full rate. It turns
// only while shown: users need not tie `running` to their own visibility.
BusyIndicator {
    id: control

    // The spokes' colour: white over a picture's backdrop.
    property color color: control.palette.text

    padding: 0
    implicitWidth: 28
    implicitHeight: 28

    contentItem: Item {
        id: spokes

        property int step: 0

        rotation: spokes.step * 45
        opacity: control.running ? 1 : 0

        Repeater {
            model: 8

            delegate: Rectangle {
                required property int index

                x: (spokes.width - width) / 2
                width: Math.max(2, spokes.width / 9)
                height: spokes.height * 0.28
                radius: width / 2
                color: control.color
                // The brightest spoke leads; the others trail it.
                opacity: 1 - index / 9
                transform: Rotation {
                    origin.x: width / 2
                    origin.y: spokes.height / 2
                    angle: -index * 45
                }
            }
        }
        Timer {
            interval: 125
            repeat: true
            running: control.running && control.visible
            onTriggered: spokes.step = (spokes.step + 1) % 8
        }
    }
}
