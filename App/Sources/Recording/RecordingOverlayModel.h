#pragma once

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>
#include <memory>
#include <optional>

#include <QtQml/qqmlregistration.h>

#include "IPhoneMirror/TimerSource.h"
#include "QuillmereKit/Session/RecordingSession.h"
#include "Recording/RecordingController.h"

namespace qm {

// What the recording layer over the stream shows: the record panel while the session can
// record, the pill with the elapsed time while a recording runs. It tells the controller when
// the stream stops. GUI thread only.
class RecordingOverlayModel : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The app model owns the recording overlay")
    Q_PROPERTY(RecordingController* recording READ recording CONSTANT)
    Q_PROPERTY(bool showsRecordPanel READ showsRecordPanel NOTIFY showsRecordPanelChanged)
    Q_PROPERTY(bool showsPill READ showsPill NOTIFY showsPillChanged)
    // "m:ss" since the recording started, updated each whole second.
    Q_PROPERTY(QString elapsedText READ elapsedText NOTIFY elapsedTextChanged)

public:
    // The tick timers come from `timers`; `now` is the controller's clock.
    RecordingOverlayModel(RecordingController& recording, TimerSource& timers,
                          RecordingController::Clock now, QObject* parent = nullptr);

    RecordingController* recording() const noexcept { return &recording_; }
    bool showsRecordPanel() const noexcept { return showsRecordPanel_; }
    bool showsPill() const noexcept { return showsPill_; }
    QString elapsedText() const { return elapsedText_; }

    // The stream's session, or none; a change away from streaming ends the running display.
    void setSession(RecordingSession* session);
    Q_INVOKABLE void toggleRecording();

    // Whole seconds, never below 0:00 when the clock was set back.
    static QString elapsedText(const QDateTime& startedAt, const QDateTime& now);

signals:
    void showsRecordPanelChanged();
    void showsPillChanged();
    void elapsedTextChanged();

private:
    void phaseMayHaveChanged();
    void refresh();
    void tick();

    RecordingController& recording_;
    const RecordingController::Clock now_;
    const std::unique_ptr<OneShotTimer> timer_;
    QPointer<RecordingSession> session_;
    // The last phase seen, none without a session.
    std::optional<SessionPhase> phase_;
    bool showsRecordPanel_ = false;
    bool showsPill_ = false;
    QString elapsedText_;
};

}  // namespace qm
