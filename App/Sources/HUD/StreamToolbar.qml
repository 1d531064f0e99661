import QtQuick
import QtQuick.Controls
import Vantorel

// The movable bar at the top-leading corner of the stream: the grip, the input mode menu, and
// the picture and resolution switches. Always dark, over any system appearance.
Item {
    id: toolbarLayer

    required property StreamToolbarModel toolbar
    required property PanelPositions positions
    required property OverlayFrameRegistry overlayFrames
    // The stream area in this item's coordinates.
    property rect area: Qt.rect(0, 0, 0, 0)
    // Whether the picture switch can turn upscaling on, and if not, whether for drawing in
    // software.
    property bool upscalingSupported: GraphicsSupport.upscaling
    property bool softwareRendering: GraphicsSupport.softwareRendering
    // The stream's sound is off.
    property bool muted: false
    // The bar at its resting place, for what is laid out beside and below it.
    readonly property size barSize: Qt.size(bar.width, bar.height)

    readonly property AppSettings settings: toolbar.settings

    implicitWidth: movable.implicitWidth + 24
    implicitHeight: movable.implicitHeight + 24

    MovablePanel {
        id: movable
        x: 12
        y: 12
        panel: "toolbar"
        positions: toolbarLayer.positions
        area: toolbarLayer.area

        Control {
            id: bar
            objectName: "streamToolbar"
            padding: 6
            font.pixelSize: 11
            OverlayControl.registry: toolbarLayer.overlayFrames
            palette {
                window: "#1e1e1e"
                windowText: "white"
                base: "#2a2a2a"
                text: "white"
                button: "#3a3a3a"
                buttonText: "white"
                highlight: "#0a84ff"
                highlightedText: "white"
                light: "#4a4a4a"
                mid: "#2a2a2a"
                dark: "#141414"
                shadow: "black"
            }
            background: Rectangle {
                radius: 8
                color: Qt.rgba(0, 0, 0, 0.55)
            }
            contentItem: Row {
                spacing: 8

                PanelGrip {
                    anchors.verticalCenter: parent.verticalCenter
                    moving: movable.dragging
                }
                HUDModeMenu {
                    anchors.verticalCenter: parent.verticalCenter
                    toolbar: toolbarLayer.toolbar
                    moving: movable.dragging
                }
                SegmentedSwitch {
                    id: picture
                    objectName: "picturePicker"
                    anchors.verticalCenter: parent.verticalCenter
                    unavailable: toolbarLayer.upscalingSupported ? -1 : 0
                    unavailableTip: toolbarLayer.softwareRendering
                                    ? qsTr("High is not available: this PC draws in software, so the video is scaled with the fastest filter.")
                                    : qsTr("High is not available on this PC's graphics.")
                    title: qsTr("Picture")
                    options: [qsTr("High"), qsTr("Low")]
                    // What is drawn: a stored High that this PC cannot honour shows as Low.
                    current: toolbarLayer.upscalingSupported
                             && toolbarLayer.settings.picturePreset === AppSettings.PicturePreset.high ? 0 : 1
                    tip: qsTr("High: PC-side upscaling (GPU upscaling), about 1 ms more. Low: fastest.")
                    moving: movable.dragging
                    onChosen: index => toolbarLayer.settings.picturePreset =
                              index === 0 ? AppSettings.PicturePreset.high
                                          : AppSettings.PicturePreset.low
                }
                SegmentedSwitch {
                    objectName: "resolutionPicker"
                    anchors.verticalCenter: parent.verticalCenter
                    title: qsTr("Resolution")
                    options: ["HD", "SD"]
                    current: toolbarLayer.settings.resolutionPreset === AppSettings.ResolutionPreset.hd ? 0 : 1
                    tip: qsTr("HD: 1920 px, sharper. SD: 1280 px, fastest. The stream restarts, which ends a recording under way.")
                    moving: movable.dragging
                    onChosen: index => toolbarLayer.toolbar.chooseResolution(
                                  index === 0 ? AppSettings.ResolutionPreset.hd
                                              : AppSettings.ResolutionPreset.sd)
                }
                Image {
                    objectName: "mutedSign"
                    anchors.verticalCenter: parent.verticalCenter
                    visible: toolbarLayer.muted
                    source: "speaker.slash.svg"
                    sourceSize: Qt.size(16, 16)

                    HoverHandler {
                        id: mutedHover
                    }
                    PlainToolTip {
                        visible: mutedHover.hovered && !movable.dragging
                        text: qsTr("Sound is off (Super+Shift+M)")
                    }
                }
            }
        }
    }
}
