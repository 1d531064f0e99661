#pragma once

#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QQmlParserStatus>
#include <QQuickItem>

#include <QtQml/qqmlregistration.h>

#include "QuillmereKit/Session/StreamingSession.h"
#include "Storage/AppSettings.h"
#include "VideoPipeline/View/VideoView.h"

namespace qm {

// Hands the stream screen's video view to the session once, and the settings' upscaling to the
// view at once and on every change. The session keeps the view until another replaces it.
// GUI thread only.
class VideoSurface : public QObject, public QQmlParserStatus {
    Q_OBJECT
    QML_ELEMENT
    Q_INTERFACES(QQmlParserStatus)
    // A VideoView.
    Q_PROPERTY(QQuickItem* view READ view WRITE setView NOTIFY viewChanged)
    Q_PROPERTY(qm::StreamingSession* session READ session WRITE setSession NOTIFY sessionChanged)
    Q_PROPERTY(qm::AppSettings* settings READ settings WRITE setSettings NOTIFY settingsChanged)

public:
    using QObject::QObject;

    QQuickItem* view() const { return view_; }
    void setView(QQuickItem* view);
    StreamingSession* session() const { return session_; }
    void setSession(StreamingSession* session);
    AppSettings* settings() const { return settings_; }
    void setSettings(AppSettings* settings);

    void classBegin() override {}
    void componentComplete() override;

signals:
    void viewChanged();
    void sessionChanged();
    void settingsChanged();

private:
    void attach();
    void applyUpscale();

    QPointer<VideoView> view_;
    QPointer<StreamingSession> session_;
    QPointer<AppSettings> settings_;
    // The session the view was last given to.
    QPointer<StreamingSession> attachedTo_;
    QMetaObject::Connection upscaling_;
    QMetaObject::Connection sharpness_;
    bool complete_ = false;
};

}  // namespace qm
