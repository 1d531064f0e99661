import QtQuick
import QtQuick.Controls
import Vantorel

// What the stream is doing when it is not simply playing: nothing while idle or streaming, a
// progress indicator while it starts, the reconnect overlay while the phone is away, the error
// panel once it failed.
Item {
    id: overlay

    required property AppModelBase model
    required property var phase

    signal close

    readonly property int kind: overlay.phase.kind

    // Return on the stream view: the error panel's default button, when the panel shows one.
    function pressDefault() {
        return failedPanel.item !== null && failedPanel.item.pressDefault()
    }

    ProgressBackdrop {
        objectName: "starting"
        anchors.centerIn: parent
        visible: overlay.kind === SessionPhase.Kind.starting

        Column {
            spacing: 12

            Spinner {
                anchors.horizontalCenter: parent.horizontalCenter
                color: "white"
                implicitWidth: 48
                implicitHeight: 48
            }
            Label {
                text: qsTr("Starting the stream…")
                color: "white"
            }
        }
    }

    ReconnectOverlay {
        objectName: "reconnect"
        anchors.fill: parent
        visible: overlay.kind === SessionPhase.Kind.waitingForDevice
        onBack: overlay.close()
    }

    Loader {
        id: failedPanel

        objectName: "failed"
        anchors.centerIn: parent
        active: overlay.kind === SessionPhase.Kind.failed
        sourceComponent: ErrorPanel {
            panelModel: ErrorPanelModel {
                phase: overlay.phase
                model: overlay.model
            }
            onRetry: overlay.model.retryStream()
            onBackToLibrary: overlay.close()
        }
    }
}
