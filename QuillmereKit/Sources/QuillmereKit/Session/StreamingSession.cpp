#include "QuillmereKit/Session/StreamingSession.h"

#include <utility>

namespace qm {

namespace {

template <typename T, typename Signal>
void change(StreamingSession* session, T& stored, T value, Signal signal) {
    if (stored == value) {
        return;
    }
    stored = std::move(value);
    emit(session->*signal)();
}

}  // namespace

VideoGeometryValue::VideoGeometryValue(const VideoGeometry& geometry)
    : videoSize_(geometry.videoSize().width, geometry.videoSize().height),
      contentRect_(geometry.contentRect().x, geometry.contentRect().y, geometry.contentRect().width,
                   geometry.contentRect().height) {}

QVariant StreamingSession::videoGeometryValue() const {
    return geometry_ ? QVariant::fromValue(VideoGeometryValue(*geometry_)) : QVariant();
}

void StreamingSession::setAudioMuted(bool muted) {
    change(this, audioMuted_, muted, &StreamingSession::isAudioMutedChanged);
    applyAudioMuted(muted);
}

void StreamingSession::setPhase(SessionPhase phase) {
    change(this, phase_, std::move(phase), &StreamingSession::phaseChanged);
}

void StreamingSession::setPhase(SessionPhase phase, bool canRecord) {
    const bool phaseChanges = phase_ != phase;
    const bool canRecordChanges = canRecord_ != canRecord;
    phase_ = std::move(phase);
    canRecord_ = canRecord;
    if (phaseChanges) {
        emit phaseChanged();
    }
    if (canRecordChanges) {
        emit canRecordChanged();
    }
}

void StreamingSession::setStats(SessionStats stats) {
    change(this, stats_, std::move(stats), &StreamingSession::statsChanged);
}

void StreamingSession::setVideoGeometry(std::optional<VideoGeometry> geometry) {
    change(this, geometry_, std::move(geometry), &StreamingSession::videoGeometryChanged);
}

void StreamingSession::setCanRecord(bool canRecord) {
    change(this, canRecord_, canRecord, &StreamingSession::canRecordChanged);
}

void StreamingSession::setRecording(bool recording) {
    change(this, isRecording_, recording, &StreamingSession::isRecordingChanged);
}

}  // namespace qm
