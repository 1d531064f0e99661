import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Vantorel

// The library route: the connected phone's games as a grid of tiles, a placeholder without a
// phone, and the attached iPhones along the bottom.
Item {
    id: root

    required property AppModelBase model
    // The main window's title while the library shows.
    readonly property string title: qsTr("Games")

    implicitWidth: 720
    implicitHeight: 480

    LibraryScreen {
        id: screen
        model: root.model
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        Item {
            Layout.fillWidth: true
            Layout.fillHeight: true
            Layout.minimumWidth: 720
            Layout.minimumHeight: 480

            Loader {
                anchors.fill: parent
                active: screen.library !== null
                sourceComponent: LibraryGrid {
                    library: screen.library
                    iconRevision: screen.iconRevision
                    onOpen: packageName => root.model.openGame(packageName)
                }
            }
            Placeholder {
                objectName: "noPhone"
                anchors.centerIn: parent
                visible: screen.library === null && !root.model.hasConnectedDevice
                title: qsTr("No phone connected")
                symbol: "iphone.slash.svg"
            }
            Spinner {
                anchors.centerIn: parent
                visible: screen.library === null && root.model.hasConnectedDevice
            }
        }

        Pane {
            objectName: "iphoneStrip"
            Layout.alignment: Qt.AlignHCenter
            visible: iphoneEntry.count > 0
            padding: 8

            IPhoneEntry {
                id: iphoneEntry
                model: root.model
            }
        }
    }

    component Placeholder: Column {
        id: placeholder

        property string title
        property url symbol
        property string description

        spacing: 8

        Image {
            anchors.horizontalCenter: parent.horizontalCenter
            source: placeholder.symbol
            sourceSize: Qt.size(48, 48)
        }
        Label {
            objectName: "title"
            anchors.horizontalCenter: parent.horizontalCenter
            text: placeholder.title
            font.pixelSize: 20
            font.bold: true
        }
        Label {
            objectName: "description"
            anchors.horizontalCenter: parent.horizontalCenter
            visible: text !== ""
            text: placeholder.description
            opacity: 0.7
        }
    }

    component LibraryGrid: ColumnLayout {
        id: grid

        required property LibraryViewModel library
        required property int iconRevision

        signal open(string packageName)

        spacing: 0
        // Typing finds a game at once, and the focus shows from the start; a dialog or a menu
        // open meanwhile keeps the keys it has.
        Component.onCompleted: {
            if (!SceneWindows.popupHoldsKeys(grid))
                search.forceActiveFocus()
        }

        ToolBar {
            Layout.fillWidth: true

            RowLayout {
                anchors.fill: parent
                anchors.leftMargin: 8
                anchors.rightMargin: 8

                TextField {
                    id: search

                    objectName: "search"
                    Layout.fillWidth: true
                    placeholderText: qsTr("Search")
                    text: grid.library.searchText
                    onTextEdited: grid.library.searchText = text
                    // The one game a search leaves opens with Return, as the grid's own does.
                    onAccepted: {
                        if (tiles.count === 1 && tiles.itemAtIndex(0))
                            grid.open(tiles.itemAtIndex(0).packageName)
                    }
                }
                RingedCheckBox {
                    objectName: "showAllApps"
                    text: qsTr("Show all apps")
                    checked: grid.library.showAllApps
                    onToggled: grid.library.setShowAllApps(checked)
                }
                GuideButton {
                    objectName: "guideButton"
                }
                Spinner {
                    objectName: "loading"
                    visible: grid.library.isLoading
                    implicitWidth: 24
                    implicitHeight: 24
                }
                ToolButton {
                    objectName: "refresh"
                    visible: !grid.library.isLoading
                    text: qsTr("Refresh")
                    icon.source: "arrow.clockwise.svg"
                    icon.color: palette.buttonText
                    display: AbstractButton.TextBesideIcon
                    onClicked: grid.library.refresh()
                }
            }
        }

        Item {
            Layout.fillWidth: true
            Layout.fillHeight: true

            GridView {
                id: tiles

                // Adaptive columns 120 to 160 wide, 20 apart, inside a padding of 24.
                readonly property int columns: Math.max(1, Math.floor((parent.width - 28) / 140))
                readonly property real column: Math.min(160, (parent.width - 48 - (columns - 1) * 20) / columns)

                objectName: "tiles"
                anchors.top: parent.top
                anchors.bottom: parent.bottom
                anchors.horizontalCenter: parent.horizontalCenter
                anchors.topMargin: 24
                width: columns * cellWidth
                cellWidth: column + 20
                cellHeight: 160
                clip: true
                model: grid.library.visibleApps
                ScrollBar.vertical: GrabbableScrollBar {}
                // One stop for the whole grid: the arrows move through it, as in a file manager.
                activeFocusOnTab: true
                // A list that came after the grid was made leaves it without a current tile.
                onActiveFocusChanged: {
                    if (activeFocus && currentIndex < 0 && count > 0)
                        currentIndex = 0
                }

                Keys.onPressed: event => {
                    if (event.key !== Qt.Key_Return && event.key !== Qt.Key_Enter
                            && event.key !== Qt.Key_Space) {
                        return
                    }
                    event.accepted = true
                    if (tiles.currentItem)
                        grid.open(tiles.currentItem.packageName)
                }

                delegate: AppTile {
                    iconRevision: grid.iconRevision
                    onClicked: grid.open(packageName)
                }
            }
            Placeholder {
                objectName: "emptyList"
                anchors.top: parent.top
                anchors.topMargin: 80
                anchors.horizontalCenter: parent.horizontalCenter
                visible: tiles.count === 0 && !grid.library.isLoading
                title: grid.library.searchText === "" ? qsTr("No games found")
                                                      : qsTr("Nothing matches your search")
                symbol: grid.library.searchText === "" ? "gamecontroller.svg"
                                                       : "magnifyingglass.svg"
                description: grid.library.searchText === ""
                             ? qsTr("Turn on “Show all apps” to see every installed app.") : ""
            }
            Rectangle {
                objectName: "banner"
                anchors.bottom: parent.bottom
                anchors.horizontalCenter: parent.horizontalCenter
                anchors.margins: 16
                visible: grid.library.loadError !== ""
                width: Math.min(bannerText.implicitWidth, parent.width - 48) + 16
                height: bannerText.implicitHeight + 16
                radius: 8
                color: Qt.rgba(palette.window.r, palette.window.g, palette.window.b, 0.9)

                Label {
                    id: bannerText

                    objectName: "bannerText"
                    anchors.fill: parent
                    anchors.margins: 8
                    text: qsTr("Couldn’t load the game list: %1").arg(grid.library.loadError)
                    textFormat: Text.PlainText
                    wrapMode: Text.Wrap
                    font.pixelSize: 12
                }
            }
        }
    }

    component AppTile: AbstractButton {
        id: tile

        required property string packageName
        required property string label
        property int iconRevision

        objectName: "tile:" + packageName
        width: 128
        hoverEnabled: true
        focusPolicy: Qt.NoFocus

        FocusFrame {
            objectName: "tileFocus"
            // On its edge, where the grid would clip it, but below the name's last line.
            anchors.fill: parent
            anchors.bottomMargin: -4
            radius: 4
            shown: tile.GridView.isCurrentItem && tile.GridView.view.activeFocus
        }

        PlainToolTip {
            objectName: "packageName"
            visible: tile.hovered
            delay: 500
            text: tile.packageName
        }

        contentItem: Column {
            spacing: 8

            Item {
                anchors.horizontalCenter: parent.horizontalCenter
                width: 96
                height: 96

                // The image carries the icon's shadow in a margin of 3 around the frame.
                Image {
                    objectName: "icon"
                    anchors.centerIn: parent
                    width: 102
                    height: 102
                    source: "image://libraryicon/" + tile.iconRevision + "/"
                            + encodeURIComponent(tile.packageName)
                    sourceSize: Qt.size(96, 96)
                    smooth: true
                    mipmap: true
                }
            }
            Label {
                width: 128
                text: tile.label
                textFormat: Text.PlainText
                wrapMode: Text.Wrap
                maximumLineCount: 2
                elide: Text.ElideRight
                horizontalAlignment: Text.AlignHCenter
                font.pixelSize: 12
            }
        }
    }
}
