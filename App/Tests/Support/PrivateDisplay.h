#pragma once

#include <QByteArray>
#include <QPoint>
#include <QSize>
#include <QString>
#include <QTemporaryDir>
#include <cstdint>
#include <memory>

#include <sys/types.h>

#include <gtest/gtest.h>

namespace qm::test {

// An X display of the test's own with a window manager on it, as a user's desktop has: Xvfb
// with one screen and openbox with its default configuration, key and mouse bindings included
// (Super+E runs a file manager, an Alt-drag moves a window, Alt+F4 closes it), and Super+L bound
// as desktops bind their screen lock. Super+E and Super+L leave a mark of the window manager's
// each time it takes them, Alt+Tab and Alt+Shift+Tab each time the switcher they start ends.
// Windows of other tests on the shared display never take its keyboard. Started before the
// application object, whose DISPLAY it sets, on a thread that lives as long as it: the server and
// the window manager end as that thread ends, however it ends. Stopped, and DISPLAY restored,
// when it goes.
class PrivateDisplay {
public:
    PrivateDisplay() = default;
    ~PrivateDisplay();

    PrivateDisplay(const PrivateDisplay&) = delete;
    PrivateDisplay& operator=(const PrivateDisplay&) = delete;

    // Returns once the window manager manages the screen.
    ::testing::AssertionResult start(QSize screen);

    // Whether the window manager took the chord ("Super+L", "Alt+Tab") since the last ask, so
    // many times at least.
    bool windowManagerTook(const QString& chord, int times = 1);
    // Whether the window manager's switcher (Alt+Tab) shows, as it does once it holds the
    // keyboard.
    bool switcherShown() const;
    // Whether another client could take the keyboard now, as a screen locker does; it lets go
    // before this returns.
    bool keyboardFree() const;
    // The same of the pointer.
    bool pointerFree() const;

    pid_t server() const { return server_; }
    pid_t manager() const { return manager_; }

private:
    ::testing::AssertionResult startServer(QSize screen);
    ::testing::AssertionResult startManager();
    ::testing::AssertionResult writeManagerConfig();

    QByteArray previousDisplay_;
    bool hadDisplay_ = false;
    pid_t server_ = -1;
    pid_t manager_ = -1;
    // The window manager's configuration and its marks.
    QTemporaryDir files_;
};

// A window of another client of the display, as a chat beside the game is: shown at once, it
// counts the keys typed and the clicks made into it. GUI thread only.
class OtherClientWindow {
public:
    OtherClientWindow();
    ~OtherClientWindow();

    OtherClientWindow(const OtherClientWindow&) = delete;
    OtherClientWindow& operator=(const OtherClientWindow&) = delete;

    // Whether the window manager has made it its active window.
    bool active();
    // Its middle, on the screen.
    QPoint middle();
    // What reached it so far.
    int keys();
    int clicks();

private:
    void read();

    struct Connection;
    std::unique_ptr<Connection> connection_;
    std::uint32_t window_ = 0;
    std::uint32_t activeAtom_ = 0;
    int keys_ = 0;
    int clicks_ = 0;
};

}  // namespace qm::test
