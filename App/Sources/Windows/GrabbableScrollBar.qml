import QtQuick
import QtQuick.Controls

// The app's scroll bar, whose handle is never too short for the pointer to grab: the style's is
// as short as the bar is wide, a few pixels over a long text.
ScrollBar {
    id: bar

    readonly property real length: bar.orientation === Qt.Vertical ? bar.height : bar.width

    minimumSize: bar.length > 0 ? Math.min(1, 32 / bar.length) : 0
}
