#include "RunningApp.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QStandardPaths>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <stop_token>
#include <thread>

#include <dlfcn.h>

#include "QuillmereCore/TaskClock.h"
#include "TemporaryHome.h"

namespace qm::test {

namespace {

// The OpenGL driver stays loaded after the application closes its display, so that the leak
// check at exit can still tell the driver's one-time allocations by their library.
void keepOpenGlDriverLoaded() {
    QFile maps("/proc/self/maps");
    if (!maps.open(QIODevice::ReadOnly)) {
        return;
    }
    for (const QByteArray& line : maps.readAll().split('\n')) {
        const QByteArray path = line.mid(line.indexOf('/'));
        if (path.contains("_dri.so") || path.contains("libGLX_mesa") || path.contains("libLLVM")) {
            dlopen(path.constData(), RTLD_LAZY | RTLD_NOLOAD);
        }
    }
}

// What the screen showed when a step failed, for the person reading the failure: saved where
// QM_TEST_SCREENSHOTS names, when it does.
void keepScreen(const char* step) {
    const QString folder = qEnvironmentVariable("QM_TEST_SCREENSHOTS");
    if (folder.isEmpty() || !QGuiApplication::primaryScreen()) {
        return;
    }
    const QString file = QDir(folder).filePath(QString::fromUtf8(step).left(60) + ".png");
    if (QGuiApplication::primaryScreen()->grabWindow(0).save(file)) {
        ADD_FAILURE() << "the screen then: " << file.toStdString();
    }
}

// The app bounds its own quit and leaves unfinished past it; this only catches a quit that
// hangs all the same. Far past that bound: a busy machine stretches a prompt quit's seconds.
constexpr std::chrono::milliseconds hangLimit = 12 * AppModel::quitTimeout;

// Aborts this process unless stopped within hangLimit.
void watchEnd(const std::stop_token& stop) {
    TaskClock::sleepUnlessStopped(hangLimit, stop);
    if (!stop.stop_requested()) {
        std::fprintf(stderr, "the application did not end within %lld ms of the quit\n",
                     static_cast<long long>(hangLimit.count()));
        std::abort();
    }
}

}  // namespace

RunningApp::RunningApp() {
    test::useHome(home_.path());
    QStandardPaths::setTestModeEnabled(true);
}

RunningApp::~RunningApp() {
    user_.reset();
    app_.reset();
}

::testing::AssertionResult RunningApp::start(
    QSize screen, const QuillmereApp::EnvironmentMaker& makeEnvironment) {
    if (!home_.isValid()) {
        return ::testing::AssertionFailure() << "no home folder";
    }
    if (auto started = display_.start(screen); !started) {
        return started;
    }
    app_ = std::make_unique<QuillmereApp>(argc_, argv_.data(), makeEnvironment);
    QQuickWindow* window = app_->mainWindow();
    if (!window) {
        return ::testing::AssertionFailure() << "the main window did not load";
    }
    if (!DesktopUser::waitFor([window] { return window->isExposed(); })) {
        return ::testing::AssertionFailure() << "the main window never showed";
    }
    keepOpenGlDriverLoaded();
    user_ = std::make_unique<DesktopUser>();
    return ::testing::AssertionSuccess();
}

int RunningApp::run(const std::vector<Step>& steps) {
    bool failed = false;
    // Armed once the application is to end: after the last step, which made it quit, or at a
    // failed step.
    std::jthread ending;
    QTimer::singleShot(0, [&] {
        for (const auto& [name, step] : steps) {
            SCOPED_TRACE(name);
            step();
            // What the step opened shows on the screen as the application drew it.
            if (!::testing::Test::HasFatalFailure()) {
                [this] { ASSERT_TRUE(user_->lookAtShownWindows()); }();
            }
            if (::testing::Test::HasFatalFailure()) {
                keepScreen(name);
                failed = true;
                QCoreApplication::exit(-1);
                break;
            }
        }
        ending = std::jthread(watchEnd);
    });
    const int result = app_->exec();
    user_.reset();
    app_.reset();
    return failed ? -1 : result;
}

}  // namespace qm::test
