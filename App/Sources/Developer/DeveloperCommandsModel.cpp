#include "Developer/DeveloperCommandsModel.h"

#include "Model/ModelInputs.h"

namespace qm {

namespace {

#ifdef NDEBUG
constexpr bool isDebugBuild = false;
#else
constexpr bool isDebugBuild = true;
#endif

}  // namespace

DeveloperCommandsModel::DeveloperCommandsModel(QObject* parent)
    : QObject(parent), debugBuild_(isDebugBuild) {}

void DeveloperCommandsModel::setStreamRoute(bool streamRoute) {
    if (streamRoute_ != streamRoute) {
        streamRoute_ = streamRoute;
        follow();
    }
}

void DeveloperCommandsModel::setSession(StreamingSession* session) {
    if (assignInput(session_, session)) {
        follow();
    }
}

void DeveloperCommandsModel::setSettings(AppSettings* settings) {
    if (assignInput(settings_, settings)) {
        follow();
    }
}

void DeveloperCommandsModel::setFlashTest(FlashTestRunner* runner) {
    if (assignInput(flashTest_, runner)) {
        follow();
    }
}

void DeveloperCommandsModel::setDebugBuild(bool debugBuild) {
    if (debugBuild_ != debugBuild) {
        debugBuild_ = debugBuild;
        emit inputsChanged();
        update();
    }
}

void DeveloperCommandsModel::follow() {
    for (const QMetaObject::Connection& connection : connections_) {
        disconnect(connection);
    }
    connections_.clear();
    const auto watch = [this](auto* object, auto signal) {
        if (object) {
            connections_.push_back(connect(object, signal, this, &DeveloperCommandsModel::update));
        }
    };
    watch(session_.data(), &StreamingSession::phaseChanged);
    watch(session_.data(), &QObject::destroyed);
    watch(settings_.data(), &AppSettings::developerModeChanged);
    watch(settings_.data(), &QObject::destroyed);
    watch(flashTest_.data(), &FlashTestRunner::stateChanged);
    watch(flashTest_.data(), &QObject::destroyed);
    emit inputsChanged();
    update();
}

void DeveloperCommandsModel::update() {
    State state;
    // On an object's destroyed() its pointer already reads null.
    state.developerMode = settings_ && settings_->developerMode();
    state.showsMenu = state.developerMode || debugBuild_;
    state.hasStream = session_ && session_->phase() == SessionPhase::streaming();
    state.canRequestFlashTest =
        streamRoute_ && state.hasStream && !(flashTest_ && flashTest_->isRunning());
    if (state != state_) {
        state_ = state;
        emit stateChanged();
    }
}

}  // namespace qm
