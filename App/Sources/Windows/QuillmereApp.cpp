#include "QuillmereApp.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEventLoop>
#include <QQuickStyle>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stop_token>

#include <pthread.h>

#include "QuillmereCore/Log.h"
#include "QuillmereCore/ProcessMemory.h"
#include "QuillmereCore/TaskClock.h"
#include "Storage/Bundle.h"
#include "VideoPipeline/FFmpegLog.h"
#include "VideoPipeline/View/VideoView.h"
#include "Windows/SceneWindows.h"
#include "Windows/WindowPlacement.h"

namespace qm {

namespace {

QtMessageHandler qtMessages = nullptr;

// Qt Multimedia starts its sound backend with the list of capture devices, also where no sound
// is needed, and tells the terminal when no sound server answers. Its line joins the app's log;
// a stream without sound says so itself.
void quietSoundBackend(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.startsWith(u"PulseAudioService:")) {
        Log::audio().debug("Qt Multimedia: {}", message.toStdString());
        return;
    }
    qtMessages(type, context, message);
}

bool platformChosen(int argc, char** argv) {
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        return true;
    }
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0) {
            return true;
        }
    }
    return false;
}

// The quit could not end in time: what it waits for is stuck, and the destructors would join
// its threads for ever.
[[noreturn]] void leaveUnfinished() {
    Log::session().error("quitting without waiting any longer for the stream to end");
    std::_Exit(EXIT_FAILURE);
}

}  // namespace

void QuillmereApp::prepare(int argc, char** argv) {
    returnLargeBlocksToTheSystem();
    routeFFmpegLog();
    if (const QtMessageHandler previous = qInstallMessageHandler(quietSoundBackend);
        previous != quietSoundBackend) {
        qtMessages = previous;
    }
    VideoView::prepareApplication();
    QCoreApplication::setOrganizationName(QStringLiteral("Tressik"));
    QCoreApplication::setApplicationName(QStringLiteral("Vantorel"));
    if (!platformChosen(argc, argv)) {
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    QQuickStyle::setStyle(QStringLiteral("Fusion"));
}

QuillmereApp::QuillmereApp(int& argc, char** argv, const EnvironmentMaker& makeEnvironment,
                           const AppHosting& hosting)
    : application_((prepare(argc, argv), std::make_unique<QApplication>(argc, argv))) {
    if (!hosting.instanceName.isEmpty() || !qEnvironmentVariableIsSet("QM_HOSTED_BY_TESTS")) {
        instance_ = std::make_unique<SingleInstance>(
            hosting.instanceName.isEmpty() ? SingleInstance::standardName() : hosting.instanceName);
        if (!instance_->isPrimary()) {
            // Said where it was started: nothing else shows that this start did anything.
            std::puts(qPrintable(QCoreApplication::translate(
                "QuillmereApp", "Vantorel is already running: its window is brought forward.")));
            return;
        }
    }
    // Heard from the start; acted on once the event loop runs.
    quitSignals_ = std::make_unique<QuitSignals>(hosting.lastWords);
    superChords_ = std::make_unique<SuperChordFilter>();
    returnKey_ = std::make_unique<ButtonReturnKey>();
    settings_ = AppSettings::standard();
    QApplication::setQuitOnLastWindowClosed(false);
    QGuiApplication::setDesktopFileName(QStringLiteral("vantorel"));
    // The settings' store, which is a scratch copy when the user's file cannot be parsed.
    QSettings& store = settings_->defaults();
    AppModelEnvironment environment =
        makeEnvironment ? makeEnvironment(store) : AppModelEnvironment::standard(store);
    // The updater's feed is the bundle's, and under a test host there is no updater.
    const nlohmann::json info = environment.bundle.info();
    const bool hostedByTests = environment.hostedByTests;
    model_ = std::make_unique<AppModel>(*settings_, std::move(environment));
    UpdaterOptions options;
    options.reveal = [this](const QString& file) { reveal_.reveal(file); };
    updater_ = std::make_unique<AppUpdater>(info, store, hostedByTests, std::move(options));

    VideoView::registerQmlType();
    AppModel::registerForQml(*model_);
    engine_ = std::make_unique<QQmlApplicationEngine>();
    // Where the module's views are; Qt 6.4 does not look there by itself.
    engine_->addImportPath(QStringLiteral("qrc:/qt/qml"));
    engine_->setInitialProperties(
        {{QStringLiteral("model"), QVariant::fromValue(model_.get())},
         {QStringLiteral("updater"), QVariant::fromValue(updater_.get())}});
    engine_->load(QUrl(QString::fromLatin1(mainWindowUrl)));
    if (QQuickWindow* window = mainWindow()) {
        placement_ = std::make_unique<WindowPlacement>(*window, store);
    }
    if (instance_) {
        QObject::connect(instance_.get(), &SingleInstance::raiseRequested, instance_.get(),
                         [this] { SceneWindows::bringForward(mainWindow()); });
    }
    QObject::connect(quitSignals_.get(), &QuitSignals::requested, model_.get(),
                     &AppModel::quitUnasked);
    // Another window of the app in front covers what the main window asked: asked again, the
    // question comes back in sight.
    QObject::connect(application_.get(), &QGuiApplication::focusWindowChanged, model_.get(),
                     [this](const QWindow* focused) {
                         KeymapController* keymap = model_->streamKeymap();
                         if (keymap && focused && focused->isVisible() && focused != mainWindow()) {
                             keymap->withdrawQuestion();
                         }
                     });
}

QuillmereApp::~QuillmereApp() {
    // The windows go before the objects they show, and the main window's placement before it.
    placement_.reset();
    engine_.reset();
    updater_.reset();
    model_.reset();
    // Work still queued runs now, and then nothing posts any more: Qt destroys what is queued
    // with the application under its lock of the event queue, where a dropped task's
    // cancellation, posted again, would wait for ever.
    QCoreApplication::sendPostedEvents();
    QtExecutor::closeAll();
    QCoreApplication::sendPostedEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

int QuillmereApp::exec() {
    if (instance_ && !instance_->isPrimary()) {
        return 0;
    }
    if (!mainWindow()) {
        return 1;
    }
    const int result = QApplication::exec();
    // Kept now: the process may have to leave without its destructors.
    settings_->save();
    const auto deadline = model_->quitDeadline(std::chrono::steady_clock::now());
    quitWatch_ = std::jthread([deadline](const std::stop_token& stop) {
        pthread_setname_np(pthread_self(), "quit.watch");
        TaskClock::sleepUnlessStopped(deadline - std::chrono::steady_clock::now(), stop);
        if (!stop.stop_requested()) {
            leaveUnfinished();
        }
    });
    if (model_->quitTimedOut()) {
        leaveUnfinished();
    }
    // The stream ends while an event loop still runs: its teardown finishes on this thread.
    bool inTime = true;
    QEventLoop ending;
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    model_->shutDown(std::max(left, std::chrono::milliseconds(0)))
        .then([&](const TaskOutcome<bool>& outcome) {
            inTime = !outcome.hasValue() || outcome.get();
            ending.quit();
        });
    ending.exec();
    if (!inTime) {
        leaveUnfinished();
    }
    return result;
}

QQuickWindow* QuillmereApp::mainWindow() const {
    if (!engine_) {
        return nullptr;
    }
    const QList<QObject*> roots = engine_->rootObjects();
    return roots.isEmpty() ? nullptr : qobject_cast<QQuickWindow*>(roots.first());
}

}  // namespace qm
