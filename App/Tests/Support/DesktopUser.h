#pragma once

#include <QList>
#include <QQuickItem>
#include <QQuickWindow>
#include <QString>
#include <QStringList>
#include <QTest>
#include <cstdint>
#include <functional>
#include <memory>

#include <gtest/gtest.h>

#include "XTestInput.h"

namespace qm::test {

// A person at the desktop in front of the application: finds what its windows show and uses it
// with the X server's keyboard and pointer, the way a user would, waiting each time until the
// application has drawn the change. Before each use, a window shown since the last look must
// show on the screen as the application drew it. Menus are found by their titles as shown,
// mnemonic marks left out. GUI thread only.
class DesktopUser {
public:
    DesktopUser();
    ~DesktopUser();

    DesktopUser(const DesktopUser&) = delete;
    DesktopUser& operator=(const DesktopUser&) = delete;

    // Bounds every wait: long enough for a sanitizer build on a busy machine, short enough that
    // a broken step fails instead of hanging.
    static constexpr int patience = 30'000;

    static bool waitFor(const std::function<bool()>& condition) {
        return QTest::qWaitFor(condition, patience);
    }

    // The visible top-level window of that title; null when none shows.
    static QQuickWindow* window(const QString& title);
    // The window that has the keyboard; null when none of the application's has it.
    static QQuickWindow* focusWindow();
    // The application's shown window that the window manager stacks above its others.
    static QQuickWindow* frontWindow();
    // The first item under the window's content that shows and is named `name`.
    static QQuickItem* shown(QQuickWindow& window, const QString& name);
    // Every item under the window's content that shows and matches, in the order of the tree.
    static QList<QQuickItem*> allShown(QQuickWindow& window,
                                       const std::function<bool(const QQuickItem&)>& matches);
    // The first item that shows this text, and is of `type` (its QML or C++ class name) if one
    // is given.
    static QQuickItem* shownWithText(QQuickWindow& window, const QString& text,
                                     const char* type = nullptr);
    // The first such item whose shown text matches.
    static QQuickItem* shownWithText(QQuickWindow& window,
                                     const std::function<bool(const QString&)>& matches,
                                     const char* type = nullptr);

    XTestInput& hands() { return hands_; }

    // Presses a chord as XTestInput names it, the modifiers first: the application sees them
    // before the key, as it does a hand's.
    ::testing::AssertionResult press(const QString& chord);
    // Clicks the middle of the item once it shows, is enabled and has been drawn; returns once
    // the application has received the click. Two clicks are a double click, on one spot, the
    // second 120 ms after the first.
    ::testing::AssertionResult click(QQuickItem* item, int clicks = 1);
    // Moves the pointer to that screen point and waits until the application has seen it.
    ::testing::AssertionResult moveTo(QPoint to);
    // Drags with the left button from one screen point to another, in steps, each seen by the
    // application before the next, as a hand's motion arrives.
    ::testing::AssertionResult drag(QPoint from, QPoint to);
    // Brings the window to the front with the keyboard, as the desktop's task list does.
    ::testing::AssertionResult activate(QQuickWindow& window);
    // Returns once the window manager has done what the application last asked of the window
    // (full screen on or off) and the window knows its new place: until then what it shows is
    // about to move, and a click aimed at it lands elsewhere.
    ::testing::AssertionResult arranged(QQuickWindow& window);

    // Opens the menu of the menu bar titled `title` with the pointer on its title and, unless
    // another open menu made way for it there, a click; first shows a full screen's bar with the
    // pointer at the top edge. Returns the menu, or null.
    QObject* openMenu(QQuickWindow& window, const QString& title);
    // Chooses an item through the menu bar: the menu's title, the titles of the submenus on the
    // way, the item's text. Returns once every menu has closed again.
    ::testing::AssertionResult choose(QQuickWindow& window, const QStringList& path);
    // The item of an open menu that shows this text.
    static QQuickItem* menuItem(QQuickWindow& window, const QString& text);
    // Whether any menu of the window is open.
    static bool menuOpen(QQuickWindow& window) { return openMenus(window) > 0; }
    // How many menus of the window are open: a menu and its open submenus.
    static int openMenus(QQuickWindow& window);
    // Closes the open menus with Escape, a level at a time, as the desktop's menus do.
    ::testing::AssertionResult closeMenus(QQuickWindow& window);

    // Each window shown since the last look and still shown, in front as a window just shown
    // is: the screen shows there what the application drew, not black or stale pixels.
    ::testing::AssertionResult lookAtShownWindows();
    // Whether the screen shows the whole window as the application drew it: nothing lies over
    // it.
    ::testing::AssertionResult showsAsDrawn(QQuickWindow& window);

private:
    // Qt's default distance within which a second click counts as a double click.
    static constexpr int doubleClickDistance = 5;

    class Seen;
    class Answer;

    // Waits until the application has received one more pointer event of that type.
    ::testing::AssertionResult seen(QEvent::Type type, int before);

    XTestInput hands_;
    // A window of no size that the window manager is asked about, made at the first ask, and
    // the names of the question and its answer.
    std::uint32_t probe_ = 0;
    std::uint32_t extents_ = 0;
    std::uint32_t requestExtents_ = 0;
    std::unique_ptr<Seen> seen_;
    std::unique_ptr<Answer> answer_;
    QPoint lastClick_{-100, -100};
};

}  // namespace qm::test
