#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWindow>
#include <vector>

#include <QtQml/qqmlregistration.h>

#include "Editor/KeymapController.h"
#include "HUD/PanelPositions.h"
#include "QuillmereKit/Session/StreamingSession.h"
#include "Recording/RecordingController.h"
#include "Storage/AppSettings.h"

namespace qm {

// The titles and enabled states of the "Stream" menu, following the route, the session, the
// stream window's keymap and the recording live, and the menu's own actions. The menu binds
// its inputs; every object may be absent. GUI thread only.
class StreamCommandsModel : public QObject {
    Q_OBJECT
    QML_ELEMENT
    // The stream or iPhone screen shows.
    Q_PROPERTY(bool streamRoute READ streamRoute WRITE setStreamRoute NOTIFY inputsChanged)
    Q_PROPERTY(qm::StreamingSession* session READ session WRITE setSession NOTIFY inputsChanged)
    Q_PROPERTY(qm::KeymapController* keymap READ keymap WRITE setKeymap NOTIFY inputsChanged)
    Q_PROPERTY(
        qm::RecordingController* recording READ recording WRITE setRecording NOTIFY inputsChanged)
    Q_PROPERTY(qm::PanelPositions* panelPositions READ panelPositions WRITE setPanelPositions NOTIFY
                   inputsChanged)
    Q_PROPERTY(qm::AppSettings* settings READ settings WRITE setSettings NOTIFY inputsChanged)
    // The main window, which goes full screen.
    Q_PROPERTY(QWindow* window READ window WRITE setWindow NOTIFY inputsChanged)

    Q_PROPERTY(QString muteTitle READ muteTitle NOTIFY stateChanged)
    Q_PROPERTY(QString editTitle READ editTitle NOTIFY stateChanged)
    Q_PROPERTY(bool canEdit READ canEdit NOTIFY stateChanged)
    Q_PROPERTY(QString recordTitle READ recordTitle NOTIFY stateChanged)
    Q_PROPERTY(bool canToggleRecording READ canToggleRecording NOTIFY stateChanged)
    // Why a stream's recording cannot start; empty when it can, or without a stream.
    Q_PROPERTY(QString recordUnavailableReason READ recordUnavailableReason NOTIFY stateChanged)
    Q_PROPERTY(bool canResetPanels READ canResetPanels NOTIFY stateChanged)
    Q_PROPERTY(QString fullScreenTitle READ fullScreenTitle NOTIFY stateChanged)
    // The window is in full screen. QML's own `visibility` of the window may miss a change the
    // window manager confirms late.
    Q_PROPERTY(bool fullScreen READ isFullScreen NOTIFY stateChanged)

public:
    explicit StreamCommandsModel(QObject* parent = nullptr);

    bool streamRoute() const noexcept { return streamRoute_; }
    void setStreamRoute(bool streamRoute);
    StreamingSession* session() const { return session_; }
    void setSession(StreamingSession* session);
    KeymapController* keymap() const { return keymap_; }
    void setKeymap(KeymapController* keymap);
    RecordingController* recording() const { return recording_; }
    void setRecording(RecordingController* recording);
    PanelPositions* panelPositions() const { return panelPositions_; }
    void setPanelPositions(PanelPositions* positions);
    AppSettings* settings() const { return settings_; }
    void setSettings(AppSettings* settings);
    QWindow* window() const { return window_; }
    void setWindow(QWindow* window);

    QString muteTitle() const;
    QString editTitle() const;
    bool canEdit() const noexcept { return state_.canEdit; }
    QString recordTitle() const;
    bool canToggleRecording() const noexcept { return state_.canToggleRecording; }
    QString recordUnavailableReason() const { return state_.recordUnavailableReason; }
    bool canResetPanels() const noexcept { return state_.canResetPanels; }
    QString fullScreenTitle() const;
    bool isFullScreen() const noexcept { return state_.fullScreen; }

    // Acts only with a session.
    Q_INVOKABLE void toggleMute();
    // Asks the stream window to open the editor, or to save when it is open.
    Q_INVOKABLE void toggleEditor();
    Q_INVOKABLE void switchHud();
    Q_INVOKABLE void resetPanels();
    // The desktop offers no full-screen control of its own: this is the user's way in and out.
    Q_INVOKABLE void toggleFullScreen();

signals:
    void inputsChanged();
    void stateChanged();

private:
    struct State {
        bool muted = false;
        bool editing = false;
        bool canEdit = false;
        bool recording = false;
        bool canToggleRecording = false;
        QString recordUnavailableReason;
        bool canResetPanels = false;
        bool fullScreen = false;
        bool operator==(const State&) const = default;
    };

    void follow();
    void update();

    bool streamRoute_ = false;
    QPointer<StreamingSession> session_;
    QPointer<KeymapController> keymap_;
    QPointer<RecordingController> recording_;
    QPointer<PanelPositions> panelPositions_;
    QPointer<AppSettings> settings_;
    QPointer<QWindow> window_;
    std::vector<QMetaObject::Connection> connections_;
    State state_;
};

}  // namespace qm
