import QtQuick
import QtQuick.Controls
import QtQuick.Controls.impl
import QtQuick.Layouts
import Vantorel

// One section's page without scrolling: its title, then a view per block. Every text can be
// selected and copied.
Item {
    id: root

    // GuideModel.page(): "title", "icon" and "blocks".
    property var page: ({})
    // Offers the support site's pages; their buttons show only while the site is configured.
    property HelpCommands supportLinks

    implicitHeight: column.implicitHeight + 2 * 28

    ColumnLayout {
        id: column

        x: 28
        y: 28
        width: Math.min(root.width - 2 * 28, 680)
        spacing: 16

        RowLayout {
            Layout.bottomMargin: 4
            spacing: 10

            IconImage {
                objectName: "pageIcon"
                source: root.page.icon ?? ""
                sourceSize: Qt.size(28, 28)
                color: palette.highlight
            }
            GuideText {
                objectName: "pageTitle"
                Layout.fillWidth: true
                text: root.page.title ?? ""
                font.pixelSize: 26
                font.bold: true
            }
        }

        Repeater {
            model: root.page.blocks ?? []

            delegate: Loader {
                required property var modelData

                Layout.fillWidth: true
                visible: sourceComponent !== null
                sourceComponent: {
                    switch (modelData.kind) {
                    case "heading": return heading;
                    case "steps": return steps;
                    case "bullets": return bullets;
                    case "item": return card;
                    case "tip": return tip;
                    case "shortcuts": return shortcuts;
                    case "supportLinks":
                        return root.supportLinks && root.supportLinks.hasSupportLinks() ? support
                                                                                        : null;
                    default: return paragraph;
                    }
                }
                onLoaded: item.block = modelData
            }
        }
    }

    Component {
        id: paragraph

        GuideText {
            property var block

            objectName: "paragraph"
            text: block ? block.text : ""
        }
    }
    Component {
        id: heading

        GuideText {
            property var block

            objectName: "heading"
            topPadding: 6
            text: block ? block.text : ""
            font.pixelSize: 20
            font.bold: true
        }
    }
    Component {
        id: steps

        ColumnLayout {
            id: list

            property var block

            objectName: "steps"
            spacing: 10

            Repeater {
                model: list.block ? list.block.entries : []

                delegate: RowLayout {
                    id: step

                    required property int index
                    required property string modelData

                    Layout.fillWidth: true
                    spacing: 10

                    Rectangle {
                        Layout.alignment: Qt.AlignTop
                        implicitWidth: 22
                        implicitHeight: 22
                        radius: 11
                        color: palette.highlight

                        Label {
                            objectName: "stepNumber"
                            anchors.centerIn: parent
                            text: step.index + 1
                            color: "white"
                            font.bold: true
                        }
                    }
                    GuideText {
                        Layout.fillWidth: true
                        text: step.modelData
                    }
                }
            }
        }
    }
    Component {
        id: bullets

        ColumnLayout {
            id: list

            property var block

            objectName: "bullets"
            spacing: 8

            Repeater {
                model: list.block ? list.block.entries : []

                delegate: RowLayout {
                    id: bullet

                    required property string modelData

                    Layout.fillWidth: true
                    spacing: 8

                    Label {
                        Layout.alignment: Qt.AlignTop
                        text: "•"
                        color: palette.placeholderText
                    }
                    GuideText {
                        Layout.fillWidth: true
                        text: bullet.modelData
                    }
                }
            }
        }
    }
    // Not "item": inside the Loader that name is the Loader's own.
    Component {
        id: card

        Rectangle {
            id: itemCard

            property var block

            objectName: "item"
            implicitHeight: cardColumn.implicitHeight + 24
            radius: 10
            color: Qt.alpha(palette.mid, 0.25)

            ColumnLayout {
                id: cardColumn

                x: 12
                y: 12
                width: itemCard.width - 24
                spacing: 4

                GuideText {
                    Layout.fillWidth: true
                    text: itemCard.block ? itemCard.block.title : ""
                    font.bold: true
                }
                GuideText {
                    Layout.fillWidth: true
                    text: itemCard.block ? itemCard.block.detail : ""
                    color: palette.placeholderText
                }
            }
        }
    }
    Component {
        id: tip

        Rectangle {
            id: tipCard

            property var block

            objectName: "tip"
            implicitHeight: tipRow.implicitHeight + 24
            radius: 10
            color: Qt.rgba(1, 0.8, 0, 0.1)

            RowLayout {
                id: tipRow

                x: 12
                y: 12
                width: tipCard.width - 24
                spacing: 8

                Image {
                    Layout.alignment: Qt.AlignTop
                    source: "lightbulb.svg"
                    sourceSize: Qt.size(18, 18)
                }
                GuideText {
                    Layout.fillWidth: true
                    text: tipCard.block ? tipCard.block.text : ""
                }
            }
        }
    }
    Component {
        id: shortcuts

        GridLayout {
            id: table

            property var block

            objectName: "shortcuts"
            columns: 2
            columnSpacing: 18
            rowSpacing: 10

            Repeater {
                model: table.block ? table.block.shortcuts : []

                delegate: Rectangle {
                    id: keyCap

                    required property int index
                    required property var modelData

                    Layout.row: index
                    Layout.column: 0
                    implicitWidth: keys.implicitWidth + 16
                    implicitHeight: keys.implicitHeight + 6
                    radius: 6
                    color: Qt.alpha(palette.mid, 0.25)

                    GuideText {
                        id: keys

                        x: 8
                        y: 3
                        text: keyCap.modelData.keys
                        font.family: "monospace"
                        font.weight: Font.DemiBold
                        wrapMode: TextEdit.NoWrap
                    }
                }
            }
            Repeater {
                model: table.block ? table.block.shortcuts : []

                delegate: GuideText {
                    required property int index
                    required property var modelData

                    Layout.row: index
                    Layout.column: 1
                    Layout.fillWidth: true
                    text: modelData.action
                }
            }
        }
    }
    Component {
        id: support

        ColumnLayout {
            property var block

            objectName: "supportLinks"
            spacing: 12

            GuideText {
                objectName: "paragraph"
                Layout.fillWidth: true
                text: qsTr("Quick Fixes on the support page has a one-minute fix for most of them.")
            }
            GuideText {
                objectName: "paragraph"
                Layout.fillWidth: true
                text: qsTr("Found a bug or have an idea? Write to us: a real person reads every message. Contact Support fills in your app and Linux versions.")
            }
            RowLayout {
                spacing: 12

                PushButton {
                    objectName: "quickFixes"
                    text: qsTr("Quick Fixes")
                    onClicked: root.supportLinks.openQuickFixes()
                }
                DefaultButton {
                    objectName: "contactSupport"
                    text: qsTr("Contact Support…")
                    onClicked: root.supportLinks.contactSupport()
                }
                PushButton {
                    objectName: "suggestFeature"
                    text: qsTr("Suggest a Feature…")
                    onClicked: root.supportLinks.suggestFeature()
                }
            }
        }
    }
    // Read-only, selectable, wrapped and never cut short.
    component GuideText: TextEdit {
        readOnly: true
        selectByMouse: true
        textFormat: TextEdit.PlainText
        wrapMode: TextEdit.Wrap
        color: palette.text
        selectionColor: palette.highlight
        selectedTextColor: palette.highlightedText
    }
}
