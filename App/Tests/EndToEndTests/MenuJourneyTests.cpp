// The menus over the demo stream, as a person opens them with the pointer and the keyboard: real
// windows on a display with a window manager, each journey in a process of its own.
#include <QImage>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSignalSpy>
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "About/AboutScreen.h"
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
    // What stood in the way, should the question not come: the window with the keyboard, and
    // what the editor says.
    const auto sight = [&] {
        const QQuickWindow* focused = DesktopUser::focusWindow();
        return "focus on " + (focused ? focused->title().toStdString() : std::string("none")) +
               (focused == window ? " (the main window)" : "") + ", notice \"" +
               keymap()->notice().toStdString() + "\"";
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
                 ASSERT_TRUE(DesktopUser::waitFor(questionInSight)) << sight();
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
                 ASSERT_TRUE(DesktopUser::waitFor(questionInSight)) << sight();
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

// The item as its window shows it now, with a band around it.
QImage surroundings(QQuickWindow& window, const QQuickItem& item) {
    const QRect place = item.mapRectToScene(item.boundingRect()).toAlignedRect();
    return window.grabWindow().copy(place.adjusted(-5, -5, 5, 5));
}

// How many pixels of the band around an item differ between two of its surroundings: a focus
// ring drawn around it, where the style draws nothing.
int changedAround(const QImage& before, const QImage& after) {
    const QRect inner = before.rect().adjusted(4, 4, -4, -4);
    int changed = 0;
    for (int y = 0; y < std::min(before.height(), after.height()); ++y) {
        for (int x = 0; x < std::min(before.width(), after.width()); ++x) {
            const QRgb a = before.pixel(x, y);
            const QRgb b = after.pixel(x, y);
            changed += !inner.contains(x, y) && std::abs(qRed(a) - qRed(b)) +
                                                        std::abs(qGreen(a) - qGreen(b)) +
                                                        std::abs(qBlue(a) - qBlue(b)) >
                                                    96;
        }
    }
    return changed;
}

// Each window of the app by keyboard alone on the small screen: reached, read to its end, its
// focus shown around one control; each app-wide shortcut from each window leaves the window it
// opens in front, taking keys; and the main window's menus over the guide.
TEST_F(SmallScreenJourneyTest, EveryWindowByKeyboardAloneAndTheShortcutsFromEach) {
    QQuickWindow* about = nullptr;
    QQuickWindow* licenses = nullptr;
    const auto hasKeys = [](QQuickWindow& in, const QString& name) {
        const QQuickItem* item = DesktopUser::shown(in, name);
        return item && item->hasActiveFocus();
    };
    // Tab until the named control has the keys, within a round of the window's stops.
    const auto tabTo = [&](QQuickWindow& in, const QString& name) {
        for (int presses = 0; presses < 12 && !hasKeys(in, name); ++presses) {
            const QQuickItem* before = in.activeFocusItem();
            if (!user().press("Tab") ||
                !DesktopUser::waitFor([&] { return in.activeFocusItem() != before; })) {
                return false;
            }
        }
        return hasKeys(in, name);
    };
    // The Tab stop with the keys, its focus shown; "" for none. A list's ring is its own, not
    // its row's.
    const auto ringed = [](QQuickWindow& in) -> QString {
        for (const QQuickItem* held = in.activeFocusItem(); held; held = held->parentItem()) {
            const QVariant shown = held->property("visualFocus");
            if (held->activeFocusOnTab() && (!shown.isValid() || shown.toBool())) {
                return held->objectName();
            }
        }
        return "";
    };
    const auto licenseView = [&] {
        return DesktopUser::shown(*licenses, "licensePage")
            ->property("contentItem")
            .value<QQuickItem*>();
    };
    const auto scrolledTo = [&] { return licenseView()->property("contentY").toReal(); };
    const auto scrollEnd = [&] {
        return licenseView()->property("contentHeight").toReal() - licenseView()->height();
    };

    const int ended = running.run({
        {"About through the Vantorel menu, by keyboard",
         [&] {
             ASSERT_TRUE(user().activate(*window));
             // A menu left by Escape gives the keys back to Next with its ring.
             ASSERT_TRUE(tabTo(*window, "next"));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return ringed(*window) == "next"; }));
             ASSERT_TRUE(user().press("F10"));
             ASSERT_TRUE(DesktopUser::waitFor(
                 [&] { return DesktopUser::menuItem(*window, "About Vantorel"); }));
             ASSERT_TRUE(user().press("Escape"));
             EXPECT_TRUE(DesktopUser::waitFor([&] { return ringed(*window) == "next"; }))
                 << "the focus came back unseen";
             ASSERT_TRUE(user().press("F10"));
             QQuickItem* item = nullptr;
             ASSERT_TRUE(DesktopUser::waitFor(
                 [&] { return (item = DesktopUser::menuItem(*window, "About Vantorel")); }));
             // Lit at once: Return takes it.
             ASSERT_TRUE(
                 DesktopUser::waitFor([&] { return item->property("highlighted").toBool(); }));
             ASSERT_TRUE(user().press("Return"));
             ASSERT_TRUE(opened("About Vantorel", about));
             EXPECT_TRUE(DesktopUser::waitFor([&] { return ringed(*about) == "licenses"; }))
                 << "it opens with its focus shown";
         }},
        {"its licences by Tab and Return, the text taking the keys",
         [&] {
             ASSERT_TRUE(tabTo(*about, "licenses"));
             ASSERT_TRUE(user().press("Return"));
             ASSERT_TRUE(opened("Licenses", licenses));
             EXPECT_TRUE(DesktopUser::waitFor([&] { return hasKeys(*licenses, "licensePage"); }));
         }},
        {"a long licence chosen in the picker and read to its end by keyboard",
         [&] {
             ASSERT_TRUE(tabTo(*licenses, "document"));
             const auto* screen = licenses->property("screen").value<AboutScreen*>();
             ASSERT_TRUE(screen);
             for (int presses = 0;
                  presses < 8 && screen->documentTitles().value(screen->selection()) != "Qt";
                  ++presses) {
                 ASSERT_TRUE(user().press("Down"));
             }
             ASSERT_TRUE(tabTo(*licenses, "licensePage"));
             ASSERT_TRUE(DesktopUser::waitFor([&] {
                 return screen->licenseText().size() > 1000 && scrollEnd() > 0;
             })) << "a text longer than the window";
             // However long the text, its scroll bar's handle is long enough to grab.
             const QQuickItem* bar = DesktopUser::shown(*licenses, "licensePageScrollBar");
             ASSERT_TRUE(bar);
             EXPECT_GE(bar->property("visualSize").toReal() * bar->height(), 24);
             const int chosen = screen->selection();
             ASSERT_TRUE(user().press("End"));
             EXPECT_TRUE(DesktopUser::waitFor([&] { return scrolledTo() == scrollEnd(); }));
             ASSERT_TRUE(user().press("Home"));
             EXPECT_TRUE(DesktopUser::waitFor([&] { return scrolledTo() == 0; }));
             for (const char* key : {"Down", "PgDown"}) {
                 const qreal before = scrolledTo();
                 ASSERT_TRUE(user().press(key));
                 EXPECT_TRUE(DesktopUser::waitFor([&] { return scrolledTo() > before; })) << key;
             }
             EXPECT_EQ(screen->selection(), chosen) << "the keys moved the text, not the picker";
         }},
        {"focus shows around the default button, and there alone",
         [&] {
             QQuickItem* done = DesktopUser::shown(*licenses, "done");
             ASSERT_TRUE(DesktopUser::shown(*licenses, "licensePageFocus"));
             const QImage unfocused = surroundings(*licenses, *done);
             ASSERT_TRUE(tabTo(*licenses, "done"));
             ASSERT_TRUE(test::waitForFrame(*licenses));
             EXPECT_GT(changedAround(unfocused, surroundings(*licenses, *done)),
                       int(done->width() + done->height()));
             EXPECT_FALSE(DesktopUser::shown(*licenses, "licensePageFocus"));
         }},
        {"from each window, each app-wide shortcut: its window in front, taking keys",
         [&] {
             const std::pair<const char*, const char*> shortcuts[] = {{"Meta+,", "Settings"},
                                                                      {"Meta+?", "Vantorel Guide"}};
             // Those shown first, then those the shortcuts opened; "" is the main window.
             for (const char* from :
                  {"Licenses", "About Vantorel", "", "Settings", "Vantorel Guide"}) {
                 for (const auto& [keys, title] : shortcuts) {
                     SCOPED_TRACE(std::string(keys) + " from " +
                                  (*from ? from : "the main window"));
                     QQuickWindow* start = *from ? DesktopUser::window(from) : window;
                     ASSERT_TRUE(start);
                     ASSERT_TRUE(user().activate(*start));
                     ASSERT_TRUE(user().press(keys));
                     QQuickWindow* target = nullptr;
                     ASSERT_TRUE(opened(title, target));
                     EXPECT_TRUE(DesktopUser::waitFor(
                         [&] { return DesktopUser::frontWindow() == target; }));
                     EXPECT_TRUE(DesktopUser::waitFor([&] { return ringed(*target) != ""; }))
                         << "no focus shows";
                     const QQuickItem* before = target->activeFocusItem();
                     ASSERT_TRUE(user().press("Tab"));
                     EXPECT_TRUE(DesktopUser::waitFor([&] {
                         return target->activeFocusItem() != before;
                     })) << "the keys did not reach it";
                 }
             }
         }},
        {"in Settings, a switch that is on shows its focus around it",
         [&] {
             QQuickWindow* settingsWindow = DesktopUser::window("Settings");
             ASSERT_TRUE(settingsWindow);
             ASSERT_TRUE(user().activate(*settingsWindow));
             const QList<QQuickItem*> on =
                 DesktopUser::allShown(*settingsWindow, [](const QQuickItem& item) {
                     return item.inherits("QQuickSwitch") && item.property("checked").toBool();
                 });
             ASSERT_FALSE(on.isEmpty());
             if (on.front()->hasActiveFocus()) {
                 ASSERT_TRUE(user().press("Tab"));
             }
             ASSERT_TRUE(DesktopUser::waitFor([&] { return !on.front()->hasActiveFocus(); }));
             ASSERT_TRUE(test::waitForFrame(*settingsWindow));
             const auto* indicator = on.front()->property("indicator").value<QQuickItem*>();
             const QImage unfocused = surroundings(*settingsWindow, *indicator);
             ASSERT_TRUE(tabTo(*settingsWindow, on.front()->objectName()));
             ASSERT_TRUE(test::waitForFrame(*settingsWindow));
             EXPECT_GT(changedAround(unfocused, surroundings(*settingsWindow, *indicator)),
                       int(indicator->width() + indicator->height()));
         }},
        {"the guide left open, the main window active: each menu of its bar shows whole",
         [&] {
             for (const char* title : {"Licenses", "About Vantorel", "Settings"}) {
                 QQuickWindow* other = DesktopUser::window(title);
                 ASSERT_TRUE(other);
                 ASSERT_TRUE(user().activate(*other));
                 ASSERT_TRUE(user().press("Escape"));
                 ASSERT_TRUE(DesktopUser::waitFor([&] { return !other->isVisible(); }));
             }
             ASSERT_TRUE(DesktopUser::window("Vantorel Guide"));
             ASSERT_TRUE(user().activate(*window));
             for (const char* title : {"Vantorel", "File", "Stream", "Help"}) {
                 SCOPED_TRACE(title);
                 ASSERT_TRUE(user().openMenu(*window, title));
                 EXPECT_TRUE(user().showsAsDrawn(*window));
                 closeMenus();
             }
         }},
        {"Super+Q quits", [&] { ASSERT_TRUE(user().press("Meta+Q")); }},
    });
    EXPECT_EQ(ended, 0);
}

}  // namespace
}  // namespace qm
