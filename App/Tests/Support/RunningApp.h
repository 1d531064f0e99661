#pragma once

#include <QQuickWindow>
#include <QSize>
#include <QTemporaryDir>
#include <array>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "DesktopUser.h"
#include "PrivateDisplay.h"
#include "Windows/QuillmereApp.h"

namespace qm::test {

// The real application as a user starts it, in a home and on a display of its own: settings
// and data under a temporary home, Xvfb with a window manager, the build tree's bundle (the test
// program sits beside the executable), and a person in front of it. One per process, as Qt
// makes one application: each test of a journey runs in a process of its own.
class RunningApp {
public:
    // A step of a journey: what the user does, named for the failure messages.
    using Step = std::pair<const char*, std::function<void()>>;

    // Moves into the home: the settings' file can be written before the start.
    RunningApp();
    ~RunningApp();

    RunningApp(const RunningApp&) = delete;
    RunningApp& operator=(const RunningApp&) = delete;

    // Returns once the main window shows; the app's standard environment unless
    // `makeEnvironment` makes another.
    ::testing::AssertionResult start(QSize screen = {1280, 800},
                                     const QuillmereApp::EnvironmentMaker& makeEnvironment = {});

    QuillmereApp& app() { return *app_; }
    AppModel& model() { return app_->model(); }
    QQuickWindow& mainWindow() { return *app_->mainWindow(); }
    DesktopUser& user() { return *user_; }
    PrivateDisplay& display() { return display_; }

    // Runs the application's event loop as main() does, taking the steps in it one after the
    // other; the last one makes the application quit. Returns what the event loop returned, -1
    // when a step failed. The application has then ended as its process would, its whole
    // teardown done (the QApplication's included) within its own quit's bound, past which it
    // leaves unfinished; a quit that hangs all the same aborts this process, which would
    // otherwise pass.
    int run(const std::vector<Step>& steps);

private:
    QTemporaryDir home_;
    PrivateDisplay display_;
    int argc_ = 1;
    std::array<char*, 2> argv_{const_cast<char*>("vantorel"), nullptr};
    std::unique_ptr<QuillmereApp> app_;
    std::unique_ptr<DesktopUser> user_;
};

}  // namespace qm::test
