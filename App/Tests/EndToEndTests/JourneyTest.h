#pragma once
// What the journeys without a phone share: the app running on a display of its own, its main
// window, and what a person sees of them.
#include <QQuickItem>
#include <QQuickWindow>
#include <QScreen>

#include <gtest/gtest.h>

#include "RunningApp.h"
#include "ViewTesting.h"

namespace qm {

class JourneyTest : public ::testing::Test {
protected:
    using DesktopUser = test::DesktopUser;
    using Kind = SessionPhase::Kind;

    void SetUp() override {
        ASSERT_TRUE(running.start());
        window = &running.mainWindow();
    }

    DesktopUser& user() { return running.user(); }
    AppModel& model() { return running.model(); }
    AppSettings& settings() { return *model().settings(); }

    QQuickItem* shown(const QString& name) const { return DesktopUser::shown(*window, name); }
    bool shows(const QString& name) const { return shown(name) != nullptr; }

    bool streaming() {
        const StreamingSession* session = model().sessionObject();
        return session && session->phase().kind() == Kind::streaming;
    }
    bool fullScreen() const {
        return window->visibility() == QWindow::FullScreen &&
               window->geometry() == window->screen()->geometry();
    }
    // Full screen on or off as the app asked, once the window manager has made it so: a window
    // the manager has yet to move takes no click where it shows.
    ::testing::AssertionResult fullScreenIs(bool on) {
        const char* state = on ? "on" : "off";
        if (!DesktopUser::waitFor(
                [&] { return (window->visibility() == QWindow::FullScreen) == on; })) {
            return ::testing::AssertionFailure() << "the app never asked for full screen " << state;
        }
        if (auto placed = user().arranged(*window); !placed) {
            return placed;
        }
        return fullScreen() == on ? ::testing::AssertionSuccess()
                                  : ::testing::AssertionFailure() << "full screen is not " << state;
    }
    // The window of that title once it shows and has the keyboard.
    static bool opened(const QString& title, QQuickWindow*& found) {
        return DesktopUser::waitFor([&] {
            found = DesktopUser::window(title);
            return found && found->isExposed() && DesktopUser::focusWindow() == found;
        });
    }
    bool menuBarShown() const {
        return DesktopUser::shownWithText(*window, "File", "QQuickMenuBarItem") != nullptr;
    }
    QPoint topEdge() const { return window->mapToGlobal(QPoint(window->width() / 2, 0)); }
    // F10 opens the first menu, Escape closes it.
    void openFirstMenuWithF10() {
        ASSERT_TRUE(user().press("F10"));
        ASSERT_TRUE(DesktopUser::waitFor([&] {
            return DesktopUser::menuOpen(*window) &&
                   DesktopUser::menuItem(*window, "About Vantorel");
        }));
        closeMenus();
    }

    // The demo plays in the stream screen, its picture drawn. A frame of the window alone may
    // still be black: on a busy machine the first picture comes later, and until it has, the
    // editor rightly says that it opens once the picture shows.
    void expectDemoPlaying() {
        ASSERT_TRUE(DesktopUser::waitFor([&] {
            return streaming() && shows("streamVideo") &&
                   model().sessionObject()->videoGeometry().has_value();
        }));
        ASSERT_TRUE(test::waitForFrame(*window));
    }
    // Back on the set-up steps, the stream gone.
    void expectSetUpSteps() {
        ASSERT_TRUE(DesktopUser::waitFor([&] { return shows("stepList"); }));
        EXPECT_EQ(model().sessionObject(), nullptr);
    }

    // A menu of the menu bar, opened with a click: its item's text and enabled state as shown.
    QQuickItem* openMenuItem(const QStringList& path) {
        if (!user().openMenu(*window, path.front())) {
            return nullptr;
        }
        for (qsizetype step = 1; step + 1 < path.size(); ++step) {
            EXPECT_TRUE(user().click(DesktopUser::menuItem(*window, path[step])));
        }
        QQuickItem* item = nullptr;
        DesktopUser::waitFor([&] { return (item = DesktopUser::menuItem(*window, path.back())); });
        return item;
    }
    void closeMenus() { ASSERT_TRUE(user().closeMenus(*window)); }

    test::RunningApp running;
    QQuickWindow* window = nullptr;
};

}  // namespace qm
