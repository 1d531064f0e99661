#pragma once

#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <vector>

#include <QtQml/qqmlregistration.h>

#include "Developer/FlashTestRunner.h"
#include "QuillmereKit/Session/StreamingSession.h"
#include "Storage/AppSettings.h"

namespace qm {

// Whether the "Developer" menu and its items show and which are enabled, following the
// settings, the route, the session and the flash test live; the flash-test sheet reads whether
// a stream runs. The views bind its inputs; every object may be absent. GUI thread only.
class DeveloperCommandsModel : public QObject {
    Q_OBJECT
    QML_ELEMENT
    // The phone's stream shows (not an iPhone's).
    Q_PROPERTY(bool streamRoute READ streamRoute WRITE setStreamRoute NOTIFY inputsChanged)
    Q_PROPERTY(qm::StreamingSession* session READ session WRITE setSession NOTIFY inputsChanged)
    Q_PROPERTY(qm::AppSettings* settings READ settings WRITE setSettings NOTIFY inputsChanged)
    Q_PROPERTY(
        qm::FlashTestRunner* flashTest READ flashTest WRITE setFlashTest NOTIFY inputsChanged)
    // Whether this is a build for debugging, whose menu shows whatever the mode.
    Q_PROPERTY(bool debugBuild READ debugBuild WRITE setDebugBuild NOTIFY inputsChanged)

    // Developer mode is on, or the build is for debugging.
    Q_PROPERTY(bool showsMenu READ showsMenu NOTIFY stateChanged)
    // The menu's items show in developer mode only.
    Q_PROPERTY(bool developerMode READ developerMode NOTIFY stateChanged)
    // The session streams, whatever the route.
    Q_PROPERTY(bool hasStream READ hasStream NOTIFY stateChanged)
    Q_PROPERTY(bool canRequestFlashTest READ canRequestFlashTest NOTIFY stateChanged)

public:
    explicit DeveloperCommandsModel(QObject* parent = nullptr);

    bool streamRoute() const noexcept { return streamRoute_; }
    void setStreamRoute(bool streamRoute);
    StreamingSession* session() const { return session_; }
    void setSession(StreamingSession* session);
    AppSettings* settings() const { return settings_; }
    void setSettings(AppSettings* settings);
    FlashTestRunner* flashTest() const { return flashTest_; }
    void setFlashTest(FlashTestRunner* runner);
    bool debugBuild() const noexcept { return debugBuild_; }
    void setDebugBuild(bool debugBuild);

    bool showsMenu() const noexcept { return state_.showsMenu; }
    bool developerMode() const noexcept { return state_.developerMode; }
    bool hasStream() const noexcept { return state_.hasStream; }
    bool canRequestFlashTest() const noexcept { return state_.canRequestFlashTest; }

signals:
    void inputsChanged();
    void stateChanged();

private:
    struct State {
        bool showsMenu = false;
        bool developerMode = false;
        bool hasStream = false;
        bool canRequestFlashTest = false;
        bool operator==(const State&) const = default;
    };

    // Watches the current inputs and recomputes.
    void follow();
    void update();

    bool streamRoute_ = false;
    bool debugBuild_;
    QPointer<StreamingSession> session_;
    QPointer<AppSettings> settings_;
    QPointer<FlashTestRunner> flashTest_;
    std::vector<QMetaObject::Connection> connections_;
    State state_;
};

}  // namespace qm
