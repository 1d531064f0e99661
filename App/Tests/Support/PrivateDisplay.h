#pragma once

#include <QByteArray>
#include <QSize>
#include <QTemporaryDir>

#include <sys/types.h>

#include <gtest/gtest.h>

namespace qm::test {

// An X display of the test's own with a window manager on it, as a user's desktop has: Xvfb
// with one screen, openbox with its usual mouse bindings (a click focuses and raises a window,
// its title bar moves it) and one key binding, Alt+F4 closing the focused window, so that every
// other key reaches the application. Windows of other tests on the shared display never take
// its keyboard. Started before the application object, whose DISPLAY it sets; stopped, and
// DISPLAY restored, when it goes.
class PrivateDisplay {
public:
    PrivateDisplay() = default;
    ~PrivateDisplay();

    PrivateDisplay(const PrivateDisplay&) = delete;
    PrivateDisplay& operator=(const PrivateDisplay&) = delete;

    // Returns once the window manager manages the screen.
    ::testing::AssertionResult start(QSize screen);

private:
    ::testing::AssertionResult startServer(QSize screen);
    ::testing::AssertionResult startManager();

    QTemporaryDir folder_;
    QByteArray previousDisplay_;
    bool hadDisplay_ = false;
    pid_t server_ = -1;
    pid_t manager_ = -1;
};

}  // namespace qm::test
