#pragma once

#include <QObject>
#include <QPointer>
#include <QQmlParserStatus>
#include <QQuickWindow>
#include <memory>

#include <QtQml/qqmlregistration.h>

#include "QuillmereKit/Session/StreamingSession.h"
#include "Storage/AppSettings.h"
#include "Stream/StreamGamingController.h"

namespace qm {

// The stream screen's hookup of full screen and keep-awake: feeds the session's phases and the
// settings to a StreamGamingController over the screen's window, and closes it with the
// screen. Full screen is the window's FullScreen visibility; leaving it restores the
// visibility from before. GUI thread only.
class StreamGaming : public QObject, public QQmlParserStatus {
    Q_OBJECT
    QML_ELEMENT
    Q_INTERFACES(QQmlParserStatus)
    Q_PROPERTY(qm::StreamingSession* session READ session WRITE setSession NOTIFY sessionChanged)
    Q_PROPERTY(qm::AppSettings* settings READ settings WRITE setSettings NOTIFY settingsChanged)
    Q_PROPERTY(QQuickWindow* window READ window WRITE setWindow NOTIFY windowChanged)

public:
    explicit StreamGaming(QObject* parent = nullptr);
    ~StreamGaming() override;

    StreamingSession* session() const { return session_; }
    void setSession(StreamingSession* session);
    AppSettings* settings() const { return settings_; }
    void setSettings(AppSettings* settings);
    QQuickWindow* window() const;
    void setWindow(QQuickWindow* window);

    // Escape in the stream screen: leaves full screen when the window is in it.
    Q_INVOKABLE bool leaveFullScreen();

    void classBegin() override {}
    void componentComplete() override;

signals:
    void sessionChanged();
    void settingsChanged();
    void windowChanged();

private:
    class Window;

    void follow();
    void phaseChanged();

    QPointer<StreamingSession> session_;
    QPointer<AppSettings> settings_;
    std::unique_ptr<Window> window_;
    StreamGamingController controller_;
    QMetaObject::Connection phaseConnection_;
    QMetaObject::Connection awakeConnection_;
    bool complete_ = false;
};

}  // namespace qm
