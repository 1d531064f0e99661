#pragma once

#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QSettings>
#include <functional>
#include <memory>
#include <thread>

#include "Desktop/FileReveal.h"
#include "Desktop/QuitSignals.h"
#include "Desktop/SingleInstance.h"
#include "Input/SuperChordFilter.h"
#include "Model/AppModel.h"
#include "Model/AppModelEnvironment.h"
#include "Storage/AppSettings.h"
#include "Updates/AppUpdater.h"
#include "Windows/ButtonReturnKey.h"
#include "Windows/WindowPlacement.h"

class QApplication;

namespace qm {

// What a host of the application other than main() changes.
struct AppHosting {
    // The socket that keeps to one running instance: the user's standard one when empty, and
    // none under a test host.
    QString instanceName;
    // Run before a second SIGINT ends the process.
    QuitSignals::LastWords lastWords = nullptr;
};

// The application: what must be set before Qt starts, then the objects that live as long as
// the process (the app model, the updater) and the main window. main() makes one and runs it;
// the end-to-end test and the simulated phone make one too. GUI thread only.
class QuillmereApp {
public:
    static constexpr const char* mainWindowUrl =
        "qrc:/qt/qml/Vantorel/Sources/Windows/MainWindow.qml";

    // What the app model takes from the system, made once the application object exists.
    using EnvironmentMaker = std::function<AppModelEnvironment(QSettings& defaults)>;

    // Everything that must precede the application object: OpenGL for Qt Quick, the settings'
    // names, the X11 platform unless the environment or "-platform" chose one (pointer capture
    // needs it), and the Fusion style.
    static void prepare(int argc, char** argv);

    // Prepares, then makes the application and loads the main window; when another instance
    // runs, asks it to come forward and makes nothing more. The standard environment unless
    // `makeEnvironment` makes another. From then on SIGTERM, SIGINT and SIGHUP quit as Quit
    // does, asking nothing.
    QuillmereApp(int& argc, char** argv, const EnvironmentMaker& makeEnvironment = {},
                 const AppHosting& hosting = {});
    ~QuillmereApp();

    QuillmereApp(const QuillmereApp&) = delete;
    QuillmereApp& operator=(const QuillmereApp&) = delete;

    // At once for an instance that found another running. Once the event loop has ended, the
    // rest of the quit, this object's destruction included, ends within AppModel::quitTimeout
    // of the first quit request (or of the loop's end), or the process leaves without it.
    int exec();

    AppModel& model() noexcept { return *model_; }
    // Null when the window failed to load or another instance runs.
    QQuickWindow* mainWindow() const;

private:
    // First, so that it goes last: from the event loop's end it bounds the whole teardown,
    // the application's included.
    std::jthread quitWatch_;
    std::unique_ptr<QApplication> application_;
    std::unique_ptr<SuperChordFilter> superChords_;
    std::unique_ptr<ButtonReturnKey> returnKey_;
    std::unique_ptr<SingleInstance> instance_;
    std::unique_ptr<QuitSignals> quitSignals_;
    std::unique_ptr<AppSettings> settings_;
    std::unique_ptr<AppModel> model_;
    std::unique_ptr<AppUpdater> updater_;
    FileReveal reveal_;
    std::unique_ptr<QQmlApplicationEngine> engine_;
    // Shows the main window.
    std::unique_ptr<WindowPlacement> placement_;
};

}  // namespace qm
