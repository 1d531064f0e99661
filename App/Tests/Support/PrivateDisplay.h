#pragma once

#include <QByteArray>
#include <QSize>

#include <sys/types.h>

#include <gtest/gtest.h>

namespace qm::test {

// An X display of the test's own with a window manager on it, as a user's desktop has: Xvfb
// with one screen and openbox with its default configuration, key and mouse bindings included
// (Super+E runs a file manager, an Alt-drag moves a window, Alt+F4 closes it). Windows of other
// tests on the shared display never take its keyboard. Started before the application object,
// whose DISPLAY it sets; stopped, and DISPLAY restored, when it goes.
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

    QByteArray previousDisplay_;
    bool hadDisplay_ = false;
    pid_t server_ = -1;
    pid_t manager_ = -1;
};

}  // namespace qm::test
