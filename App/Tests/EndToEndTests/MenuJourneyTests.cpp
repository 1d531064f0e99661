// The menus over the demo stream, as a person opens them with the pointer and the keyboard: real
// windows on a display with a window manager, each journey in a process of its own.
#include <QQuickItem>
#include <QQuickWindow>
#include <QSignalSpy>
#include <functional>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "Input/MenuTracking.h"
#include "JourneyTest.h"
#include "ViewTesting.h"

namespace qm {
namespace {

TEST_F(JourneyTest, EveryMenuOverTheDemoOpensLetsTheStreamGoAndClosesOnEscape) {
    QSignalSpy menusShown(&MenuTracking::shared(), &MenuTracking::menuWillShow);

    const int ended = running.run({
        {"the demo with its shortcut",
         [&] {
             ASSERT_TRUE(user().activate(*window));
             ASSERT_TRUE(user().press("Meta+Shift+D"));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return streaming(); }));
             ASSERT_TRUE(fullScreenIs(true));
             ASSERT_TRUE(test::waitForFrame(*window));
         }},
        {"each menu of the bar, shown at the top edge, opened and closed",
         [&] {
             ASSERT_TRUE(user().moveTo(topEdge()));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return menuBarShown(); }));
             QStringList titles;
             for (const char* title : {"Vantorel", "File", "Stream", "Developer", "Help"}) {
                 if (DesktopUser::shownWithText(*window, title, "QQuickMenuBarItem")) {
                     titles.append(title);
                 }
             }
             ASSERT_TRUE(titles.contains("File"));
             for (const QString& title : titles) {
                 SCOPED_TRACE(title.toStdString());
                 const qsizetype shownBefore = menusShown.size();
                 ASSERT_TRUE(user().openMenu(*window, title));
                 EXPECT_GT(menusShown.size(), shownBefore)
                     << "the stream kept its keys and pointer";
                 // A debug build's Developer menu has nothing without developer mode.
                 if (title != "Developer") {
                     EXPECT_TRUE(DesktopUser::menuOpen(*window)) << "it opened empty";
                 }
                 for (QQuickItem* item : DesktopUser::allShown(*window, [](const QQuickItem& each) {
                          return each.inherits("QQuickMenuItem");
                      })) {
                     EXPECT_GE(item->width(), item->implicitWidth())
                         << test::textOf(item).toStdString() << " is cut off";
                 }
                 closeMenus();
             }
         }},
        {"with a menu open, the pointer on another title opens that menu instead",
         [&] {
             QObject* file = user().openMenu(*window, "File");
             ASSERT_TRUE(file);
             QQuickItem* title = DesktopUser::shownWithText(*window, "Stream", "QQuickMenuBarItem");
             ASSERT_TRUE(title);
             ASSERT_TRUE(
                 user().moveTo(title->mapToGlobal(title->boundingRect().center()).toPoint()));
             const auto* stream = title->property("menu").value<QObject*>();
             EXPECT_TRUE(DesktopUser::waitFor([&] {
                 return stream->property("opened").toBool() && !file->property("visible").toBool();
             }));
             closeMenus();
         }},
        {"Settings with Super+, over the demo, closed with Escape",
         [&] {
             ASSERT_TRUE(user().press("Meta+,"));
             QQuickWindow* settings = nullptr;
             ASSERT_TRUE(DesktopUser::waitFor([&] {
                 settings = DesktopUser::window("Settings");
                 return settings && DesktopUser::focusWindow() == settings;
             }));
             EXPECT_EQ(test::textOf(DesktopUser::shown(*settings, "hevcStreamAside")),
                       "Applies to the next stream.");
             ASSERT_TRUE(user().press("Escape"));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return !settings->isVisible(); }));
         }},
        {"Super+Q with a menu open quits",
         [&] {
             ASSERT_TRUE(user().activate(*window));
             ASSERT_TRUE(user().openMenu(*window, "Stream"));
             ASSERT_TRUE(user().press("Meta+Q"));
         }},
    });
    EXPECT_EQ(ended, 0);
}

class SmallScreenJourneyTest : public JourneyTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(running.start({1366, 768}));
        window = &running.mainWindow();
    }
};

// Super+Q over unsaved edits with each of the app's other windows in front: the question shows
// whole in the main window, in front, the window that hid it closed; the edits stay until the
// person quits again.
TEST_F(SmallScreenJourneyTest, TheQuestionComesInFrontOfEveryOtherWindowOfTheApp) {
    const auto keymap = [&] { return model().streamKeymap(); };
    const auto windowShown = [](const char* title) {
        return [title] {
            const QQuickWindow* found = DesktopUser::window(title);
            return found && found->isVisible() && DesktopUser::focusWindow() == found;
        };
    };
    const auto sheetShown = [&] {
        const QObject* sheet = window->findChild<QObject*>("flashTestSheet");
        return sheet && sheet->property("visible").toBool();
    };
    using Opening = std::tuple<const char*, std::function<void()>, std::function<bool()>>;
    const std::vector<Opening> windows{
        {"the guide", [&] { ASSERT_TRUE(user().press("Meta+?")); }, windowShown("Vantorel Guide")},
        {"Settings", [&] { ASSERT_TRUE(user().press("Meta+,")); }, windowShown("Settings")},
        {"About",
         [&] {
             ASSERT_TRUE(user().choose(*window, {"Vantorel", "About Vantorel"}));
         },
         windowShown("About Vantorel")},
        {"the licences",
         [&] {
             ASSERT_TRUE(user().choose(*window, {"Vantorel", "About Vantorel"}));
             ASSERT_TRUE(DesktopUser::waitFor(windowShown("About Vantorel")));
             QQuickWindow* about = DesktopUser::window("About Vantorel");
             ASSERT_TRUE(user().click(DesktopUser::shown(*about, "licenses")));
         },
         windowShown("Licenses")},
    };
    std::vector<Opening> inFront = windows;
    inFront.emplace_back(
        "the flash test",
        [&] {
            ASSERT_TRUE(user().choose(*window, {"Developer", "Flash Test (data: URL)…"}));
        },
        sheetShown);
    const auto questionInSight = [&] {
        return DesktopUser::focusWindow() == window &&
               keymap()->notice().startsWith("Layouts without a game") &&
               DesktopUser::shownWithText(*window, keymap()->notice());
    };
    const int ended = running.run({
        {"the demo, a stick added in the editor",
         [&] {
             settings().setDeveloperMode(true);
             ASSERT_TRUE(user().activate(*window));
             ASSERT_TRUE(user().press("Meta+Shift+D"));
             expectDemoPlaying();
             ASSERT_TRUE(user().press("Meta+E"));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return keymap() && keymap()->isEditing(); }));
             ASSERT_TRUE(
                 user().click(DesktopUser::shownWithText(*window, "Stick", "QQuickButton")));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return keymap()->isDirty(); }));
         }},
        {"Super+Q with each window in front: it closes and the question shows",
         [&] {
             for (const auto& [name, open, isShown] : inFront) {
                 SCOPED_TRACE(name);
                 open();
                 ASSERT_TRUE(DesktopUser::waitFor(isShown));
                 ASSERT_TRUE(user().press("Meta+Q"));
                 // Over the demo, which has no game, the question is of the layouts kept for
                 // the stream.
                 ASSERT_TRUE(DesktopUser::waitFor(questionInSight));
                 EXPECT_FALSE(isShown());
                 for (const char* title :
                      {"Vantorel Guide", "Settings", "About Vantorel", "Licenses"}) {
                     const QQuickWindow* other = DesktopUser::window(title);
                     EXPECT_FALSE(other && other->isVisible()) << title;
                 }
                 EXPECT_FALSE(sheetShown());
                 EXPECT_TRUE(keymap()->isDirty());
                 // A further edit takes the question back: the next Super+Q asks again.
                 ASSERT_TRUE(
                     user().click(DesktopUser::shownWithText(*window, "Stick", "QQuickButton")));
                 ASSERT_TRUE(DesktopUser::waitFor([&] { return keymap()->notice().isEmpty(); }));
             }
         }},
        {"a window opened over the question takes it back: the next Super+Q asks again, in "
         "sight",
         [&] {
             for (const auto& [name, open, isShown] : windows) {
                 SCOPED_TRACE(name);
                 ASSERT_TRUE(user().press("Meta+Q"));
                 ASSERT_TRUE(DesktopUser::waitFor(questionInSight));
                 open();
                 ASSERT_TRUE(DesktopUser::waitFor(isShown));
                 EXPECT_TRUE(DesktopUser::waitFor([&] { return keymap()->notice().isEmpty(); }));
             }
             ASSERT_TRUE(user().press("Meta+Q"));
             ASSERT_TRUE(DesktopUser::waitFor(questionInSight));
             EXPECT_TRUE(keymap()->isDirty());
         }},
        {"Super+Q again, the question in sight, quits",
         [&] { ASSERT_TRUE(user().press("Meta+Q")); }},
    });
    EXPECT_EQ(ended, 0);
}

}  // namespace
}  // namespace qm
