// The menus over the demo stream, as a person opens them with the pointer and the keyboard: real
// windows on a display with a window manager, each journey in a process of its own.
#include <QQuickItem>
#include <QQuickWindow>
#include <QSignalSpy>

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

}  // namespace
}  // namespace qm
