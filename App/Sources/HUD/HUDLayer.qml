import QtQuick
import QtQuick.Controls
import Vantorel

// The HUD panel and the thermal banner at the stream's top-leading corner, beside and below the
// stream toolbar; nothing unless the session streams. A click on the panel swaps the full and
// compact looks.
Item {
    id: hudLayer

    required property HUDLayerModel hudModel
    required property PanelPositions positions
    required property OverlayFrameRegistry overlayFrames
    // The stream area in this item's coordinates.
    property rect area: Qt.rect(0, 0, 0, 0)
    // The stream toolbar's bar at its resting place: the panel sits after it, the banner below.
    property size toolbarSize: Qt.size(0, 0)

    readonly property int hudStyle: hudModel.settings ? hudModel.settings.hudStyle
                                                   : AppSettings.HUDStyle.hidden

    visible: hudModel.shown
    implicitWidth: childrenRect.x + childrenRect.width + 12
    implicitHeight: childrenRect.y + childrenRect.height + 12

    MovablePanel {
        id: movable
        x: 12 + (hudLayer.toolbarSize.width > 0 ? hudLayer.toolbarSize.width + 8 : 0)
        y: 12
        panel: "hud"
        positions: hudLayer.positions
        area: hudLayer.area
        visible: hudLayer.hudStyle !== AppSettings.HUDStyle.hidden

        Item {
            objectName: "hudPanel"
            implicitWidth: full.visible ? full.implicitWidth : compact.implicitWidth
            implicitHeight: full.visible ? full.implicitHeight : compact.implicitHeight
            width: implicitWidth
            height: implicitHeight
            OverlayControl.registry: hudLayer.overlayFrames

            HUDView {
                id: full
                objectName: "hudView"
                visible: hudLayer.hudStyle === AppSettings.HUDStyle.full
                hudModel: hudLayer.hudModel
            }
            CompactHUDView {
                id: compact
                objectName: "compactHUDView"
                visible: hudLayer.hudStyle === AppSettings.HUDStyle.compact
                hudModel: hudLayer.hudModel
            }
            TapHandler {
                onTapped: hudLayer.hudModel.toggleStyle()
            }
            HoverHandler {
                id: hover
            }
            PlainToolTip {
                visible: hover.hovered && !movable.dragging
                text: qsTr("Click to switch between full and compact")
            }
        }
    }

    ThermalBanner {
        objectName: "thermalBanner"
        x: 12
        y: 12 + Math.max(hudLayer.toolbarSize.height, movable.visible ? movable.height : 0) + 8
        visible: hudLayer.hudModel.showsBanner
        hudModel: hudLayer.hudModel
        OverlayControl.registry: hudLayer.overlayFrames
    }
}
