import QtQuick
import QtQuick.Controls

// A row of controls that goes onto more lines where it would be wider than `maximumWidth`, so
// that a narrow window still shows every control. Its lines start at the left.
Flow {
    id: row

    property real maximumWidth: Infinity
    // The width of every child on one line, the hidden ones too: a separator that hides when
    // the row wraps then cannot undo the wrap.
    readonly property real naturalWidth: {
        let width = 0
        for (let i = 0; i < row.children.length; ++i)
            width += row.children[i].implicitWidth + (i > 0 ? row.spacing : 0)
        return width
    }
    readonly property bool wrapped: naturalWidth > maximumWidth
    readonly property real lineHeight: {
        let height = 0
        for (let i = 0; i < row.children.length; ++i)
            height = Math.max(height, row.children[i].implicitHeight)
        return height
    }

    // A line between groups of controls, shown while the row is one line.
    component Separator: Item {
        visible: !!parent && !parent.wrapped
        implicitWidth: line.implicitWidth
        height: parent ? parent.lineHeight : 0

        ToolSeparator {
            id: line
            anchors.centerIn: parent
            height: 18
        }
    }

    width: Math.min(naturalWidth, maximumWidth)
    spacing: 10
}
