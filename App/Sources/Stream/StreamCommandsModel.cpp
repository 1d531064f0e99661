#include "Stream/StreamCommandsModel.h"

#include <QCoreApplication>

#include "Model/ModelInputs.h"
#include "Stream/WindowFullScreen.h"

namespace qm {

StreamCommandsModel::StreamCommandsModel(QObject* parent) : QObject(parent) {}

void StreamCommandsModel::setStreamRoute(bool streamRoute) {
    if (streamRoute_ != streamRoute) {
        streamRoute_ = streamRoute;
        follow();
    }
}

void StreamCommandsModel::setSession(StreamingSession* session) {
    if (assignInput(session_, session)) {
        follow();
    }
}

void StreamCommandsModel::setKeymap(KeymapController* keymap) {
    if (assignInput(keymap_, keymap)) {
        follow();
    }
}

void StreamCommandsModel::setRecording(RecordingController* recording) {
    if (assignInput(recording_, recording)) {
        follow();
    }
}

void StreamCommandsModel::setPanelPositions(PanelPositions* positions) {
    if (assignInput(panelPositions_, positions)) {
        follow();
    }
}

void StreamCommandsModel::setSettings(AppSettings* settings) {
    if (assignInput(settings_, settings)) {
        follow();
    }
}

void StreamCommandsModel::setWindow(QWindow* window) {
    if (assignInput(window_, window)) {
        follow();
    }
}

QString StreamCommandsModel::muteTitle() const {
    return state_.muted ? tr("Unmute Sound") : tr("Mute Sound");
}

QString StreamCommandsModel::editTitle() const {
    return state_.editing ? tr("Save Layout") : tr("Edit Layout");
}

QString StreamCommandsModel::recordTitle() const {
    return state_.recording ? tr("Stop Recording") : tr("Start Recording");
}

QString StreamCommandsModel::fullScreenTitle() const {
    return state_.fullScreen ? tr("Exit Full Screen") : tr("Enter Full Screen");
}

void StreamCommandsModel::toggleMute() {
    if (session_) {
        session_->setAudioMuted(!session_->isAudioMuted());
    }
}

void StreamCommandsModel::toggleEditor() {
    if (state_.canEdit) {
        keymap_->requestToggle();
    }
}

void StreamCommandsModel::switchHud() {
    if (settings_) {
        settings_->setHudStyle(next(settings_->hudStyle()));
    }
}

void StreamCommandsModel::resetPanels() {
    if (panelPositions_) {
        panelPositions_->reset();
    }
}

void StreamCommandsModel::toggleFullScreen() {
    if (window_) {
        WindowFullScreen::toggle(*window_);
    }
}

void StreamCommandsModel::follow() {
    for (const QMetaObject::Connection& connection : connections_) {
        disconnect(connection);
    }
    connections_.clear();
    const auto watch = [this](auto* object, auto signal) {
        if (object) {
            connections_.push_back(connect(object, signal, this, &StreamCommandsModel::update));
        }
    };
    watch(session_.data(), &StreamingSession::isAudioMutedChanged);
    watch(session_.data(), &StreamingSession::canRecordChanged);
    watch(session_.data(), &StreamingSession::phaseChanged);
    watch(session_.data(), &QObject::destroyed);
    watch(keymap_.data(), &KeymapController::editorChanged);
    watch(keymap_.data(), &QObject::destroyed);
    watch(recording_.data(), &RecordingController::isRecordingChanged);
    watch(recording_.data(), &QObject::destroyed);
    watch(window_.data(), &QWindow::visibilityChanged);
    watch(window_.data(), &QObject::destroyed);
    emit inputsChanged();
    update();
}

void StreamCommandsModel::update() {
    State state;
    // On an object's destroyed() its pointer already reads null.
    const bool hasSession = session_ != nullptr;
    state.muted = hasSession && session_->isAudioMuted();
    state.editing = keymap_ && keymap_->isEditing();
    state.canEdit = streamRoute_ && keymap_;
    state.recording = recording_ && recording_->isRecording();
    // A running recording can always be stopped; a new one needs a session that can record.
    state.canToggleRecording =
        streamRoute_ && recording_ && (state.recording || (hasSession && session_->canRecord()));
    if (streamRoute_ && hasSession && !state.canToggleRecording) {
        state.recordUnavailableReason = RecordingController::unavailableReason(*session_);
    }
    state.canResetPanels = panelPositions_ != nullptr;
    state.fullScreen = window_ && WindowFullScreen::isOn(*window_);
    if (state != state_) {
        state_ = state;
        emit stateChanged();
    }
}

}  // namespace qm
