import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Vantorel

// The guide window's content: the sections in a sidebar, the chosen one's page beside it. Made
// anew for each opening, so it starts at "Start Here".
SplitView {
    id: root

    // Empty for the application's own bundle.
    property string bundleRoot
    // The sidebar row shown; -1 for none.
    property int selection: -1

    implicitWidth: 900
    implicitHeight: 640

    Component.onCompleted: selection = guide.indexOf("start")
    // Each section is read from its top.
    onSelectionChanged: page.scrollTo(0)

    GuideModel {
        id: guide
        bundleRoot: root.bundleRoot
    }
    HelpCommands {
        id: help
        bundleRoot: root.bundleRoot
    }

    // Up and Down walk the sections, and Tab comes here first.
    Item {
        SplitView.minimumWidth: 190
        SplitView.preferredWidth: 210

        ListView {
            id: sidebar

            objectName: "sidebar"
            anchors.fill: parent
            model: guide
            clip: true
            focus: true
            activeFocusOnTab: true
            currentIndex: root.selection
            // Its own keys would move the current row away from the selection.
            keyNavigationEnabled: false
            Keys.onUpPressed: root.selection = Math.max(0, root.selection - 1)
            Keys.onDownPressed: root.selection = Math.min(sidebar.count - 1, root.selection + 1)

            delegate: ItemDelegate {
                required property int index
                required property string sectionId
                required property string title
                required property url iconSource

                objectName: "section:" + sectionId
                width: ListView.view.width
                text: title
                icon.source: iconSource
                icon.color: "transparent"
                highlighted: root.selection === index
                onClicked: root.selection = index
            }
        }
        FocusFrame {
            anchors.fill: sidebar
            shown: sidebar.activeFocus
        }
    }

    ReadingPage {
        id: page

        objectName: "page"
        SplitView.fillWidth: true

        Loader {
            width: page.availableWidth
            // The whole page takes a click, below a short page's end too.
            height: Math.max(implicitHeight, page.availableHeight)
            active: root.selection >= 0

            // A click anywhere on the page gives it the keys, as Tab does; a text clicked on
            // keeps them, and its selection.
            TapHandler {
                onTapped: {
                    if (!page.activeFocus)
                        page.forceActiveFocus(Qt.MouseFocusReason)
                }
            }
            sourceComponent: GuidePageContent {
                page: guide.page(root.selection)
                supportLinks: help
            }
        }
    }
}
