import QtQuick
import QtQuick.Controls
import Vantorel

// "Check for Updates…" for the application menu, after "About Vantorel"; disabled while the
// updater cannot check (no updater, or a check or download running).
Action {
    required property AppUpdater updater

    text: qsTr("Check for Updates…")
    enabled: updater.canCheckForUpdates
    onTriggered: updater.checkForUpdates()
}
