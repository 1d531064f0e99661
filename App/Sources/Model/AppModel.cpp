#include "AppModel.h"

#include <QCoreApplication>
#include <type_traits>
#include <utility>
#include <variant>

#include <QtQml/qqml.h>

#include "Developer/SessionFlashTarget.h"
#include "Errors/Diagnostics.h"
#include "Model/QuitGuard.h"
#include "QuillmereCore/ThreadPriority.h"
#include "QuillmereKit/Session/RouteResolver.h"

namespace qm {

AppModel::AppModel(AppSettings& settings, AppModelEnvironment environment, QObject* parent)
    : AppModelBase(settings, parent),
      environment_(std::move(environment)),
      panelPositions_(settings.defaults()),
      recording_(RecordingController::moviesDirectory(), FileReveal(), environment_.now),
      recordingOverlay_(recording_, *environment_.timers, environment_.now),
      flashTest_(FlashTestRunner::Environment{.timers = *environment_.timers}),
      autoConnectPending_(environment_.autoConnect && !environment_.hostedByTests) {
    libraryCacheQueue_.post([] { lowerCurrentThread(); });
    connect(&settings, &AppSettings::developerModeChanged, this, &AppModel::stopCapturesWhenOff);
}

// Stops hearing the link before the members its handler touches go.
AppModel::~AppModel() {
    stateSubscription_.reset();
}

void AppModel::registerForQml(AppModel& model) {
    qmlRegisterSingletonInstance("Vantorel", 1, 0, "AppModel", &model);
}

QString AppModel::routePackage() const {
    return route_.package ? QString::fromStdString(*route_.package) : QString();
}

QString AppModel::routeIPhoneID() const {
    return route_.device ? QString::fromStdString(route_.device->id) : QString();
}

QString AppModel::routeIPhoneName() const {
    return route_.device ? QString::fromStdString(route_.device->name) : QString();
}

void AppModel::setCaptureRawStream(bool on) {
    if (on) {
        setCaptureProblem({});
    }
    if (on != captureRawStream_) {
        captureRawStream_ = on;
        emit captureRawStreamChanged();
    }
    stopCapturesWhenOff();
}

void AppModel::stopCapturesWhenOff() {
    // Else the stream's next relaunch (a reconnection, another quality) would still capture.
    if (session_ && !(settings()->developerMode() && captureRawStream_)) {
        session_->setRawStreamTapPath(std::nullopt);
    }
}

void AppModel::rawCaptureFailed(const QString& reason) {
    // A switch that stayed on would promise captures that are not being made.
    setCaptureRawStream(false);
    setCaptureProblem(
        tr("Record Raw Stream is off: the capture could not start (%1).").arg(reason));
}

void AppModel::setCaptureProblem(QString text) {
    if (text != captureProblem_) {
        captureProblem_ = std::move(text);
        emit captureProblemChanged();
    }
}

DiagnosticsRedactor AppModel::redactor() const {
    QStringList serials;
    for (const std::string& serial : knownSerials_) {
        serials.append(QString::fromStdString(serial));
    }
    return DiagnosticsRedactor(serials);
}

void AppModel::setStreamKeymap(KeymapController* controller) {
    streamKeymap_ = controller;
    emit streamKeymapChanged();
}

void AppModel::setPointerCaptured(bool captured) {
    if (pointerCaptured_ != captured) {
        pointerCaptured_ = captured;
        emit pointerCapturedChanged();
    }
}

void AppModel::run() {
    if (running_ || environment_.hostedByTests) {
        return;
    }
    running_ = true;
    if (environment_.iphoneWatcher) {
        environment_.iphoneWatcher->onChange = [this](const std::vector<IPhoneDevice>& devices) {
            iphonesChanged(devices);
        };
        environment_.iphoneWatcher->start();
    }
    // Subscribed first: the link's current state is the first one heard. The executor drops
    // whatever arrives once the model is gone.
    stateSubscription_ = environment_.deviceStates->states(
        executor_, [this](const DeviceLinkState& state) { apply(state); });
    environment_.deviceStates->start();
}

void AppModel::apply(const DeviceLinkState& state) {
    if (state != deviceState_) {
        deviceState_ = state;
        emit deviceStateChanged();
    }
    if (session_) {
        session_->deviceStateChanged(state);
    }
    std::visit(
        [this](const auto& value) {
            using Case = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<Case, DeviceLinkState::Unauthorized>) {
                addKnownSerial(value.device.serial);
            } else if constexpr (std::is_same_v<Case, DeviceLinkState::Connected>) {
                setConnectedDevice(value.info);
                addKnownSerial(value.info.serial);
            } else if constexpr (!std::is_same_v<Case, DeviceLinkState::Busy>) {
                setConnectedDevice(std::nullopt);
            }
        },
        state.value);
    const RouteDecision decision = RouteResolver::resolve(state, route_.isStreaming());
    if (const auto* onboarding = std::get_if<RouteDecision::Onboarding>(&decision.value)) {
        setConnectionNotice(onboarding->notice);
        setRoute(Route::onboarding());
    } else if (std::holds_alternative<RouteDecision::Library>(decision.value)) {
        setRoute(Route::library());
    }
    if (autoConnectPending_ && std::holds_alternative<DeviceLinkState::Connected>(state.value)) {
        autoConnectPending_ = false;
        startStream(std::nullopt);
    }
}

void AppModel::iphonesChanged(const std::vector<IPhoneDevice>& devices) {
    setIPhones(devices);
    if (route_.device &&
        std::find(devices.begin(), devices.end(), *route_.device) == devices.end()) {
        closeIPhone();
    }
}

void AppModel::showIPhone(const IPhoneDevice& device) {
    setRoute(Route::iphone(device));
}

void AppModel::closeIPhone() {
    setRoute(Route::library());
    apply(DeviceLinkState(deviceState_));
}

GuiTask<bool> AppModel::finishRecordingBeforeQuit(std::chrono::milliseconds timeout) {
    std::vector<GuiTask<void>> work;
    if (isStopPending_ && pendingStop_) {
        work.push_back(*pendingStop_);
    }
    if (recording_.isRecording() && session_) {
        recording_.stop(*session_);
    }
    // Also a file whose stop began before the quit.
    if (recording_.isFinishing()) {
        work.push_back(recording_.whenFinished());
    }
    if (work.empty()) {
        GuiTask<bool> done(this);
        done.settle(true);
        return done;
    }
    return firstOf(this, whenAll(this, std::move(work)), timeout, *environment_.timers);
}

void AppModel::requestQuit() {
    if (!quitting_ && mayEndStream(KeymapController::Discarding::quit)) {
        beginQuit();
    }
}

void AppModel::quitUnasked() {
    if (!quitting_) {
        beginQuit();
    }
}

void AppModel::beginQuit() {
    quitRequestedAt_ = std::chrono::steady_clock::now();
    quitting_ = true;
    const bool isRecording = recording_.isRecording() || recording_.isFinishing();
    if (QuitGuard::reply(isRecording, isStopPending_) == QuitGuard::TerminateReply::terminateNow) {
        environment_.quit();
        return;
    }
    finishRecordingBeforeQuit(quitTimeout).then([this](const TaskOutcome<bool>& inTime) {
        quitTimedOut_ = inTime.hasValue() && !inTime.get();
        environment_.quit();
    });
}

bool AppModel::mayEndStream(KeymapController::Discarding by) {
    return !streamKeymap_ || streamKeymap_->mayDiscard(by);
}

GuiTask<bool> AppModel::shutDown(std::chrono::milliseconds timeout) {
    quitting_ = true;
    endStream();
    return finishRecordingBeforeQuit(timeout);
}

void AppModel::runFlashTest() {
    if (!session_) {
        return;
    }
    flashTest_.run(flashTest_.source(), std::make_shared<SessionFlashTarget>(
                                            session_, [states = environment_.deviceStates] {
                                                return states->connection();
                                            }));
}

GuiTask<void> AppModel::copyDiagnostics() {
    return Diagnostics::copyToClipboard(this, environment_.bundle, redactor().serials(),
                                        connectedDevice());
}

void AppModel::setRoute(Route route) {
    if (route != route_) {
        route_ = std::move(route);
        emit routeChanged();
    }
}

void AppModel::setSession(std::shared_ptr<StreamingSession> session) {
    session_ = std::move(session);
    recordingOverlay_.setSession(session_.get());
    if (session_) {
        connect(session_.get(), &StreamingSession::soundUnavailable, this,
                &AppModel::soundUnavailable, Qt::UniqueConnection);
        connect(session_.get(), &StreamingSession::rawCaptureFailed, this,
                &AppModel::rawCaptureFailed, Qt::UniqueConnection);
    }
    emit sessionChanged();
}

void AppModel::soundUnavailable() {
    if (soundProblem_.isEmpty()) {
        soundProblem_ =
            tr("Streams play without sound: Vantorel cannot reach a sound server. "
               "Start PulseAudio or PipeWire, then open the stream again.");
        emit soundProblemChanged();
    }
}

void AppModel::setLastError(std::optional<QString> text) {
    if (text != lastError_) {
        lastError_ = std::move(text);
        emit lastErrorChanged();
    }
}

void AppModel::addKnownSerial(const std::string& serial) {
    if (knownSerials_.insert(serial).second) {
        emit knownSerialsChanged();
    }
}

void AppModel::setStopPending(bool pending) {
    if (pending != isStopPending_) {
        isStopPending_ = pending;
        emit isStopPendingChanged();
    }
}

}  // namespace qm
