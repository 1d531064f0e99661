import QtQuick
import QtQuick.Shapes
import Vantorel

// One action of the edited layout, drawn where it touches the video: a bubble for a tap, a
// dashed circle with its four direction bubbles for a stick, a dashed zone for a look. A drag
// moves it and a drag of its knob resizes it; a gesture only shows its offset while it runs and
// writes once when it ends, nothing when it is cancelled.
Item {
    id: handle

    // The action's row of keymap.actions.
    required property var model
    required property KeymapController keymap
    required property rect contentRect

    readonly property string actionId: model.actionId
    readonly property int kind: model.kind
    readonly property bool isStick: kind === KeymapController.ActionKind.stick
    readonly property bool isLook: kind === KeymapController.ActionKind.look
    readonly property color fill: model.selected ? palette.highlight : Qt.rgba(0, 0, 0, 0.7)
    readonly property color outline: model.selected ? palette.highlight : "white"
    readonly property real lineWidth: model.selected ? 3 : 2

    readonly property point origin: Qt.point(model.x, model.y)
    readonly property rect zone: Qt.rect(model.zoneX, model.zoneY, model.zoneWidth,
                                         model.zoneHeight)
    readonly property vector2d moveOffset: move.active ? move.translation : Qt.vector2d(0, 0)
    readonly property vector2d resizeOffset: resize.active ? resize.translation
                                                           : Qt.vector2d(0, 0)
    readonly property point centre: EditorGeometry.point(origin, contentRect)
    readonly property real radius: isStick ? EditorGeometry.liveStickRadius(model.radius,
                                                                           resizeOffset,
                                                                           contentRect)
                                           : 0
    readonly property rect frame: isLook ? EditorGeometry.liveZone(zone, resizeOffset,
                                                                   contentRect)
                                         : Qt.rect(0, 0, 0, 0)

    // A stick's square reaches over its direction bubbles; a zone keeps its top-left corner.
    width: isLook ? frame.width : isStick ? 2 * radius + 30 : tapBubble.width
    height: isLook ? frame.height : isStick ? 2 * radius + 30 : tapBubble.height
    x: (isLook ? frame.x : centre.x - width / 2) + moveOffset.x
    y: (isLook ? frame.y : centre.y - height / 2) + moveOffset.y

    component Bubble: Rectangle {
        property alias text: label.text
        property real diameter
        property color fill

        width: Math.max(diameter, label.implicitWidth + 12)
        height: Math.max(diameter, label.implicitHeight)
        radius: height / 2
        color: fill

        Text {
            id: label
            anchors.centerIn: parent
            textFormat: Text.PlainText
            color: "white"
            font.pixelSize: 10
            font.bold: true
        }
    }

    // ShapePath counts dashes in stroke widths.
    component DashedPath: ShapePath {
        property real dash

        strokeStyle: ShapePath.DashLine
        dashPattern: [dash / strokeWidth, dash / strokeWidth]
        dashOffset: 0
        capStyle: ShapePath.FlatCap
        joinStyle: ShapePath.MiterJoin
        miterLimit: 10
    }

    Bubble {
        id: tapBubble
        visible: !handle.isStick && !handle.isLook
        diameter: 44
        fill: handle.fill
        text: visible ? handle.model.label : ""
    }

    Shape {
        visible: handle.isStick
        anchors.centerIn: parent
        width: 2 * handle.radius
        height: width

        DashedPath {
            dash: 6
            strokeColor: handle.outline
            strokeWidth: handle.lineWidth
            fillColor: "transparent"
            PathAngleArc {
                centerX: handle.radius
                centerY: handle.radius
                radiusX: handle.radius
                radiusY: handle.radius
                sweepAngle: 360
            }
        }
    }

    Repeater {
        model: handle.isStick ? [[handle.model.upLabel, 0, -1], [handle.model.downLabel, 0, 1],
                                 [handle.model.leftLabel, -1, 0], [handle.model.rightLabel, 1, 0]]
                              : []
        delegate: Bubble {
            required property var modelData
            diameter: 30
            fill: handle.fill
            text: modelData[0]
            x: handle.width / 2 + modelData[1] * handle.radius - width / 2
            y: handle.height / 2 + modelData[2] * handle.radius - height / 2
        }
    }

    // Qt 6.4 has no PathRectangle: the rounded rectangle is lines and arcs.
    Shape {
        visible: handle.isLook

        DashedPath {
            dash: 8
            strokeColor: handle.outline
            strokeWidth: handle.lineWidth
            fillColor: Qt.rgba(1, 1, 1, 0.05)
            startX: 6
            startY: 0
            PathLine { x: handle.width - 6; y: 0 }
            PathArc { x: handle.width; y: 6; radiusX: 6; radiusY: 6 }
            PathLine { x: handle.width; y: handle.height - 6 }
            PathArc { x: handle.width - 6; y: handle.height; radiusX: 6; radiusY: 6 }
            PathLine { x: 6; y: handle.height }
            PathArc { x: 0; y: handle.height - 6; radiusX: 6; radiusY: 6 }
            PathLine { x: 0; y: 6 }
            PathArc { x: 6; y: 0; radiusX: 6; radiusY: 6 }
        }
    }

    Image {
        visible: handle.isLook
        source: visible ? "computermouse.svg" : ""
        sourceSize: Qt.size(17, 17)
        x: handle.centre.x - handle.frame.x - width / 2
        y: handle.centre.y - handle.frame.y - height / 2
    }

    TapHandler {
        gesturePolicy: TapHandler.WithinBounds  // an exclusive grab: the dim below stays out
        onTapped: handle.keymap.select(handle.actionId)
    }

    DragHandler {
        id: move
        target: null
        dragThreshold: 2
        // The knob's threshold is higher: this would take its presses first.
        enabled: !knobTap.pressed
        onGrabChanged: (transition, point) => {
            if (transition === PointerDevice.UngrabExclusive)
                EditorGeometry.endMove(handle.keymap, handle.actionId, handle.origin,
                                       translation, handle.contentRect)
        }
    }

    Rectangle {
        id: knob
        visible: handle.isStick || handle.isLook
        width: 14
        height: 14
        radius: 7
        color: palette.highlight
        // Knob at 45 degrees on the circle, or in the zone's bottom-right corner.
        x: handle.isStick ? handle.width / 2 + 0.707 * handle.radius - 7 : handle.width - 14
        y: handle.isStick ? handle.height / 2 + 0.707 * handle.radius - 7 : handle.height - 14

        TapHandler {
            id: knobTap
            gesturePolicy: TapHandler.WithinBounds
            onTapped: handle.keymap.select(handle.actionId)
        }

        DragHandler {
            id: resize
            target: null
            dragThreshold: 10
            onGrabChanged: (transition, point) => {
                if (transition !== PointerDevice.UngrabExclusive)
                    return
                if (handle.isStick)
                    EditorGeometry.endStickResize(handle.keymap, handle.actionId,
                                                  handle.model.radius, translation,
                                                  handle.contentRect)
                else
                    EditorGeometry.endLookResize(handle.keymap, handle.actionId, handle.zone,
                                                 translation, handle.contentRect)
            }
        }
    }
}
