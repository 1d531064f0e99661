#include "Recording/RecordingOverlayModel.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace qm {

RecordingOverlayModel::RecordingOverlayModel(RecordingController& recording, TimerSource& timers,
                                             RecordingController::Clock now, QObject* parent)
    : QObject(parent), recording_(recording), now_(std::move(now)), timer_(timers.makeTimer()) {
    connect(&recording_, &RecordingController::isRecordingChanged, this,
            &RecordingOverlayModel::refresh);
    connect(&recording_, &RecordingController::startedAtChanged, this,
            &RecordingOverlayModel::refresh);
    refresh();
}

void RecordingOverlayModel::setSession(RecordingSession* session) {
    if (session_ == session) {
        return;
    }
    if (session_) {
        disconnect(session_, nullptr, this, nullptr);
    }
    session_ = session;
    if (session) {
        connect(session, &RecordingSession::phaseChanged, this,
                &RecordingOverlayModel::phaseMayHaveChanged);
        connect(session, &RecordingSession::canRecordChanged, this,
                &RecordingOverlayModel::refresh);
        // By then the session can no longer be asked anything, and the pointer is already null.
        connect(session, &QObject::destroyed, this, [this] { phaseMayHaveChanged(); });
    }
    phaseMayHaveChanged();
}

void RecordingOverlayModel::phaseMayHaveChanged() {
    std::optional<SessionPhase> phase;
    if (session_) {
        phase = session_->phase();
    }
    const bool changed = phase != phase_;
    phase_ = std::move(phase);
    if (changed) {
        recording_.phaseChanged(phase_ && phase_->kind() == SessionPhase::Kind::streaming);
    }
    refresh();
}

void RecordingOverlayModel::toggleRecording() {
    recording_.toggle(session_);
}

QString RecordingOverlayModel::elapsedText(const QDateTime& startedAt, const QDateTime& now) {
    const qint64 seconds = std::max<qint64>(startedAt.msecsTo(now), 0) / 1000;
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

void RecordingOverlayModel::refresh() {
    const bool recordPanel = session_ && session_->canRecord() && !recording_.isRecording();
    const bool pill = recording_.isRecording() && recording_.startedAt().isValid();
    if (recordPanel != showsRecordPanel_) {
        showsRecordPanel_ = recordPanel;
        emit showsRecordPanelChanged();
    }
    if (pill) {
        tick();
    } else {
        timer_->cancel();
    }
    if (pill != showsPill_) {
        showsPill_ = pill;
        emit showsPillChanged();
    }
}

void RecordingOverlayModel::tick() {
    const QDateTime now = now_();
    const QString text = elapsedText(recording_.startedAt(), now);
    if (text != elapsedText_) {
        elapsedText_ = text;
        emit elapsedTextChanged();
    }
    // Due when the next whole second since the start is reached, so the display never lags a
    // tick behind; a clock set back ticks each second until it has caught up.
    const qint64 elapsed = recording_.startedAt().msecsTo(now);
    timer_->start(std::chrono::milliseconds(elapsed >= 0 ? 1000 - elapsed % 1000 : 1000),
                  [this] { tick(); });
}

}  // namespace qm
