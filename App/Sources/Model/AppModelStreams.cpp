#include <QFile>
#include <QPointer>
#include <system_error>
#include <utility>

#include <fmt/format.h>

#include "Model/AppModel.h"
#include "QuillmereCore/Log.h"
#include "QuillmereKit/Video/RawStreamTap.h"

namespace qm {

namespace fs = std::filesystem;

namespace {

const char* const missingJarText = "quillmere-server.jar is missing from the app bundle";
const char* const missingDemoText = "demo.qmstream is missing from the app bundle";

// Runs `next` once `task` has ended, however it ended; at once without a task.
template <typename Next>
void afterTask(const std::optional<GuiTask<void>>& task, Next next) {
    if (task) {
        task->then([next = std::move(next)](const TaskOutcome<void>&) mutable { next(); });
    } else {
        next();
    }
}

}  // namespace

void AppModel::startStream(const QString& package) {
    startStream(package.isEmpty() ? std::nullopt : std::optional(package.toStdString()));
}

void AppModel::startStream(std::optional<std::string> package) {
    if (quitting_ || !std::holds_alternative<DeviceLinkState::Connected>(deviceState_.value)) {
        return;
    }
    // Another game, or the phone in place of the demo, ends what the stream's editor holds.
    const bool replaces =
        route_ != Route::stream(package) || (session_ && session_ == demoSession_.lock());
    // What cannot start is known before the question: going on drops the edits.
    std::optional<Bytes> jar = loadServerJar();
    if (!jar || (replaces && !mayEndStream(KeymapController::Discarding::otherGame))) {
        return;
    }
    // One session serves the library and the streams; only the demo's is replaced.
    std::shared_ptr<StreamingSession> chosen = session_;
    std::shared_ptr<StreamingSession> replaced;
    if (!chosen || chosen == demoSession_.lock()) {
        replaced = std::exchange(chosen, environment_.makeSession(std::move(*jar)));
    }
    ServerOptions options = streamOptions();
    // Set at every start, so that a reused session never writes an earlier start's capture.
    if (settings()->developerMode() && captureRawStream_) {
        chosen->setRawStreamTapPath(newCaptureFile());
        options.videoBitRate = rawCaptureBitRate;
    } else {
        chosen->setRawStreamTapPath(std::nullopt);
    }
    if (chosen != session_) {
        chosen->deviceStateChanged(deviceState_);
    }
    setSession(chosen);
    setLastError(std::nullopt);
    setRoute(Route::stream(package));
    // A closed session's server must be down before the next one launches.
    afterTask(pendingStop_, [self = QPointer(this), chosen, replaced, package = std::move(package),
                             options = std::move(options)]() mutable {
        auto launch = [self, chosen, package = std::move(package), options = std::move(options)] {
            if (self && !self->quitting_) {
                chosen->start(package, options);
            }
        };
        if (replaced) {
            replaced->stop().then([replaced, launch = std::move(launch)](
                                      const TaskOutcome<void>&) mutable { launch(); });
        } else {
            launch();
        }
    });
}

void AppModel::openGame(const QString& package) {
    startStream(package);
    if (routePackage() == package) {
        settings()->setLastPackage(package);
    }
}

void AppModel::retryStream() {
    if (route_.package) {
        openGame(QString::fromStdString(*route_.package));
    } else {
        startStream(std::nullopt);
    }
}

void AppModel::closeStream() {
    if (mayEndStream(KeymapController::Discarding::closeStream)) {
        endStream();
    }
}

void AppModel::leaveStream() {
    if (mayEndStream(KeymapController::Discarding::backToLibrary)) {
        endStream();
    }
}

void AppModel::endStream() {
    if (route_.kind == Route::Kind::iphone) {
        closeIPhone();
        return;
    }
    std::shared_ptr<StreamingSession> closed = session_;
    if (closed) {
        // Nothing may stay held on the phone once the window is gone.
        closed->input().releaseAll();
    }
    setSession(nullptr);
    setRoute(Route::library());
    apply(DeviceLinkState(deviceState_));
    if (closed) {
        beginPendingStop(std::move(closed));
    }
}

void AppModel::beginPendingStop(std::shared_ptr<StreamingSession> closed) {
    const int generation = ++stopGeneration_;
    setStopPending(true);
    GuiTask<void> done(this);
    afterTask(pendingStop_, [closed = std::move(closed), done, self = QPointer(this), generation] {
        // The continuation keeps the session until its stop has ended.
        closed->stop().then([closed, done, self, generation](const TaskOutcome<void>&) {
            if (self && self->stopGeneration_ == generation) {
                self->setStopPending(false);
            }
            done.settle(TaskOutcome<void>());
        });
    });
    pendingStop_ = std::move(done);
}

void AppModel::startDemo() {
    startDemo(demoStreamFile());
}

void AppModel::startDemo(const std::optional<fs::path>& streamFile) {
    if (quitting_) {
        return;
    }
    if (!streamFile) {
        setLastError(QString::fromUtf8(missingDemoText));
        Log::session().error("demo stream unavailable: {}", missingDemoText);
        return;
    }
    if (!mayEndStream(KeymapController::Discarding::demo)) {
        return;
    }
    std::shared_ptr<StreamingSession> replaced = session_;
    const bool replacesDemo = replaced && replaced == demoSession_.lock();
    std::shared_ptr<StreamingSession> demo = environment_.makeSession(Bytes());
    setSession(demo);
    demoSession_ = demo;
    setLastError(std::nullopt);
    setRoute(Route::demo());
    std::optional<GuiTask<void>> before;
    if (replacesDemo) {
        before = replaced->stop();
    } else if (replaced) {
        // A phone session is stopped like a closed stream: its input let go, its stop awaited
        // by the next launch and by quitting.
        replaced->input().releaseAll();
        beginPendingStop(replaced);
        before = pendingStop_;
    }
    afterTask(before, [self = QPointer(this), demo, replaced, file = *streamFile] {
        if (self && !self->quitting_) {
            demo->startDemo(file);
        }
    });
}

void AppModel::toggleRecording() {
    recording_.toggle(session_.get());
}

void AppModel::restartStreamWithCurrentSettings() {
    if (!session_) {
        return;
    }
    if (const std::optional<StreamRequest> request = session_->activeRequest()) {
        session_->restartStream(settings()->streamOptions(request->options));
    }
}

std::optional<Bytes> AppModel::loadServerJar() {
    std::optional<Bytes> bytes;
    if (const std::optional<QString> path = environment_.bundle.path(u"quillmere-server", u"jar")) {
        QFile file(*path);
        if (file.open(QIODevice::ReadOnly)) {
            const QByteArray data = file.readAll();
            if (file.error() == QFileDevice::NoError) {
                bytes.emplace(data.begin(), data.end());
            }
        }
    }
    if (!bytes) {
        setLastError(QString::fromUtf8(missingJarText));
    }
    return bytes;
}

std::optional<fs::path> AppModel::demoStreamFile() const {
    std::optional<QString> path = environment_.bundle.path(u"demo", u"qmstream", u"Demo");
    if (!path) {
        path = environment_.bundle.path(u"demo", u"qmstream");
    }
    return path ? std::optional(fs::path(path->toStdString())) : std::nullopt;
}

fs::path AppModel::newCaptureFile() {
    const std::string stamp =
        environment_.now().toUTC().toString(Qt::ISODate).replace(':', '-').toStdString();
    // Starts within one second share the stamp, and a launch makes its file only later.
    int index = stamp == lastCaptureStamp_ ? lastCaptureIndex_ + 1 : 0;
    const fs::path base =
        environment_.capturesDirectory / fmt::format("capture-{}.qmstream", stamp);
    fs::path file;
    for (std::error_code error;; ++index) {
        file = RawStreamTap::numbered(base, index);
        if (!fs::exists(file, error)) {
            break;
        }
    }
    lastCaptureStamp_ = stamp;
    lastCaptureIndex_ = index;
    return file;
}

ServerOptions AppModel::streamOptions() const {
    ServerOptions options(ServerOptions::randomScid());
    options.maxFps = resolve(settings()->streamFrameRate(), environment_.displayMaxFps());
    options.videoCodecOptions = settings()->gameVideoCodecOptions();
    return settings()->streamOptions(std::move(options));
}

}  // namespace qm
