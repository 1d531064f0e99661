#include <QCoreApplication>
#include <QPointer>
#include <utility>

#include "Model/AppModel.h"
#include "QuillmereCore/Log.h"
#include "QuillmereKit/Gaming/LibraryLoadError.h"

namespace qm {

namespace {

using SessionTask = GuiTask<std::shared_ptr<StreamingSession>>;

bool isUnderWay(const SessionPhase& phase) {
    return phase.kind() == SessionPhase::Kind::waitingForDevice ||
           phase.kind() == SessionPhase::Kind::starting;
}

// After a wait or a launch: the session, unless it failed.
void settleWithPhase(const SessionTask& result, const std::shared_ptr<StreamingSession>& session) {
    const SessionPhase phase = session->phase();
    if (phase.failure()) {
        result.settle(std::make_exception_ptr(*phase.failure()));
    } else {
        result.settle(session);
    }
}

void waitForLaunch(const SessionTask& result, const std::shared_ptr<StreamingSession>& session) {
    session->waitWhile(AppModel::libraryWaitTimeout, AppModel::libraryWaitPoll, isUnderWay)
        .then([result, session](const TaskOutcome<void>& outcome) {
            if (outcome.isCancelled()) {
                result.cancel();
                return;
            }
            if (const std::exception_ptr error = outcome.error()) {
                try {
                    std::rethrow_exception(error);
                } catch (const SessionFailure& failure) {
                    Log::session().error("library wait failed: {}", logged(failure));
                    result.settle(std::make_exception_ptr(LibraryLoadError::phoneDidNotRespond()));
                } catch (...) {
                    result.settle(error);
                }
                return;
            }
            settleWithPhase(result, session);
        });
}

}  // namespace

ServerOptions AppModel::libraryOptions() {
    ServerOptions options(ServerOptions::randomScid());
    options.maxSize = 800;
    options.maxFps = 15;
    options.videoBitRate = 1'000'000;
    options.audio = false;
    options.stayAwake = false;
    return options;
}

std::shared_ptr<StreamingSession> AppModel::sessionForDevice() {
    if (session_) {
        return session_;
    }
    std::optional<Bytes> jar = loadServerJar();
    if (!jar) {
        return nullptr;
    }
    std::shared_ptr<StreamingSession> session = environment_.makeSession(std::move(*jar));
    session->deviceStateChanged(deviceState_);
    setSession(session);
    return session;
}

SessionTask AppModel::librarySession() {
    SessionTask result(this);
    // A closed stream's server must be down before the library launches one.
    auto ask = [this, result] {
        if (quitting_) {
            result.cancel();
            return;
        }
        const std::shared_ptr<StreamingSession> session = sessionForDevice();
        if (!session) {
            result.settle(std::make_exception_ptr(SessionFailure::serverFailed(
                lastError_.value_or(QStringLiteral("no server")).toStdString())));
            return;
        }
        switch (session->phase().kind()) {
            case SessionPhase::Kind::streaming:
                result.settle(session);
                return;
            case SessionPhase::Kind::waitingForDevice:
            case SessionPhase::Kind::starting:
                waitForLaunch(result, session);
                return;
            case SessionPhase::Kind::idle:
            case SessionPhase::Kind::failed:
                session->start(std::nullopt, libraryOptions())
                    .then([result, session](const TaskOutcome<void>&) {
                        settleWithPhase(result, session);
                    });
                return;
        }
    };
    if (pendingStop_) {
        // The task's context is this model: the continuation never runs once it is gone.
        pendingStop_->then([ask](const TaskOutcome<void>&) { ask(); });
    } else {
        ask();
    }
    return result;
}

std::unique_ptr<LibraryViewModel> AppModel::makeLibraryViewModel(const DeviceInfo& device) {
    auto fetch = [self = QPointer(this)](bool includeAll) {
        if (!self) {
            GuiTask<std::vector<AppInfo>> gone(QCoreApplication::instance());
            gone.settle(std::make_exception_ptr(SessionFailure::disconnected()));
            return gone;
        }
        GuiTask<std::vector<AppInfo>> apps(self);
        self->librarySession().then(
            [apps, includeAll](const TaskOutcome<std::shared_ptr<StreamingSession>>& session) {
                if (!session.hasValue()) {
                    apps.settle(session.isCancelled()
                                    ? TaskOutcome<std::vector<AppInfo>>(Cancelled{})
                                    : session.error());
                    return;
                }
                // The caller gave up meanwhile.
                if (apps.isSettled()) {
                    return;
                }
                const std::shared_ptr<StreamingSession>& held = session.get();
                held->fetchApps(includeAll)
                    .then([apps, held](const TaskOutcome<std::vector<AppInfo>>& outcome) {
                        apps.settle(outcome);
                    });
            });
        return apps;
    };
    return std::make_unique<LibraryViewModel>(device.serial,
                                              GameLibraryCache(environment_.libraryCacheDirectory),
                                              std::move(fetch), libraryCacheQueue_);
}

}  // namespace qm
