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

    GuideModel {
        id: guide
        bundleRoot: root.bundleRoot
    }
    HelpCommands {
        id: help
        bundleRoot: root.bundleRoot
    }

    // Up and Down walk the sections, and Tab comes here first.
    ListView {
        id: sidebar

        objectName: "sidebar"
        SplitView.minimumWidth: 190
        SplitView.preferredWidth: 210
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

    ScrollView {
        id: page

        objectName: "page"
        SplitView.fillWidth: true
        contentWidth: availableWidth

        Loader {
            width: page.availableWidth
            active: root.selection >= 0
            sourceComponent: GuidePageContent {
                page: guide.page(root.selection)
                supportLinks: help
            }
        }
    }
}
