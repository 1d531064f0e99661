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

    Item {
        SplitView.fillWidth: true

        ScrollView {
            id: page

            function scrollTo(y) {
                const view = page.contentItem
                view.contentY = Math.max(0, Math.min(y, view.contentHeight - view.height))
            }
            function scrollBy(distance) {
                page.scrollTo(page.contentItem.contentY + distance)
            }

            objectName: "page"
            anchors.fill: parent
            contentWidth: availableWidth
            // Tab or a click, and the keys scroll it.
            focusPolicy: Qt.StrongFocus
            // A page that goes on below the window says so before anyone scrolls it.
            ScrollBar.vertical.policy: contentHeight > availableHeight ? ScrollBar.AlwaysOn
                                                                       : ScrollBar.AsNeeded
            ScrollBar.vertical.objectName: "pageScrollBar"

            // Its texts ignore these keys, so they come here from a text clicked on too.
            Keys.onPressed: event => {
                const line = 40
                // A line of the last screen stays in sight.
                const screen = Math.max(line, page.availableHeight - line)
                const back = (event.modifiers & Qt.ShiftModifier) !== 0
                switch (event.key) {
                case Qt.Key_Up: page.scrollBy(-line); break
                case Qt.Key_Down: page.scrollBy(line); break
                case Qt.Key_PageUp: page.scrollBy(-screen); break
                case Qt.Key_PageDown: page.scrollBy(screen); break
                case Qt.Key_Space: page.scrollBy(back ? -screen : screen); break
                case Qt.Key_Home: page.scrollTo(0); break
                case Qt.Key_End: page.scrollTo(Infinity); break
                default: return
                }
                event.accepted = true
            }

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
        // Over the page, so that its texts never cover the ring.
        FocusFrame {
            objectName: "pageFocus"
            anchors.fill: page
            shown: page.activeFocus
        }
    }
}
