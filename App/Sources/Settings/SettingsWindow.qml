import QtQuick
import QtQuick.Controls
import Vantorel

// The settings window: made once, shown on demand, as large as its form.
ApplicationWindow {
    id: window

    required property AppSettings settings

    title: qsTr("Settings")
    width: form.width
    height: form.implicitHeight
    minimumWidth: width
    maximumWidth: width
    minimumHeight: height
    maximumHeight: height

    SettingsView {
        id: form

        settings: window.settings
    }
}
