// The whole application as a person uses it, without a phone: real windows on a display with a
// window manager, keys and clicks through the X server, and after every step what the person
// would see change. Each journey runs in a process of its own.
#include <QAbstractItemModel>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QQuickItem>
#include <QQuickWindow>
#include <QScreen>

#include <linux/input-event-codes.h>

#include <gtest/gtest.h>

#include "Desktop/XcbReply.h"
#include "Editor/KeymapController.h"
#include "JourneyTest.h"
#include "MarkupProbe.h"
#include "QuillmereCore/HostClock.h"
#include "RunningApp.h"
#include "ViewTesting.h"
#include "Windows/SceneWindows.h"

namespace qm {
namespace {

TEST_F(JourneyTest, FirstStepsTheDemoTheStreamMenuAndTheEditor) {
    QString firstTitle;
    QString cableTitle;
    QPointF hudAt;
    std::size_t playedActions = 0;
    const auto title = [&] { return test::textOf(shown("stepTitle")); };
    const auto keymap = [&] { return model().streamKeymap(); };
    const auto editedActions = [&] { return keymap()->actions()->rowCount(); };
    const auto hudPanelAt = [&] {
        QQuickItem* panel = shown("hudPanel");
        return panel ? panel->mapToGlobal(QPointF(0, 0)) : QPointF(-1, -1);
    };

    const int ended = running.run({
        {"a brand, Next and Back in the set-up steps",
         [&] {
             ASSERT_TRUE(user().activate(*window));
             firstTitle = title();
             const QString before = test::textOf(shown("stepText"));
             QQuickItem* samsung = shown("vendor:Samsung");
             ASSERT_TRUE(user().click(samsung));
             ASSERT_TRUE(DesktopUser::waitFor([&] {
                 return samsung->property("checked").toBool() &&
                        test::textOf(shown("stepText")) != before;
             }));
             ASSERT_TRUE(user().click(shown("next")));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return title() != firstTitle; }));
             ASSERT_TRUE(user().click(shown("back")));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return title() == firstTitle; }));
             EXPECT_FALSE(shows("back"));
         }},
        {"the cable step's commands are copied with a triple click, and the shortcuts "
         "still work",
         [&] {
             ASSERT_TRUE(user().click(shown("next")));
             ASSERT_TRUE(user().click(shown("next")));
             QQuickItem* command = nullptr;
             ASSERT_TRUE(DesktopUser::waitFor([&] { return (command = shown("command")); }));
             cableTitle = title();
             ASSERT_TRUE(test::waitForFrame(*window));
             const QRectF before = command->mapRectToScene(command->boundingRect());
             const QPoint at = command->mapToGlobal(QPointF(4, 4)).toPoint();
             for (int click = 0; click < 3; ++click) {
                 user().hands().click(at);
             }
             ASSERT_TRUE(DesktopUser::waitFor([&] {
                 return command->property("selectedText") == command->property("text");
             })) << "the command is not selected whole";
             EXPECT_EQ(command->mapRectToScene(command->boundingRect()), before)
                 << "the selection moved the command";
             ASSERT_TRUE(user().press("Ctrl+C"));
             EXPECT_TRUE(DesktopUser::waitFor([&] {
                 return QGuiApplication::clipboard()->text() == command->property("text");
             })) << "the command was not copied";
             ASSERT_TRUE(user().press("Meta+Shift+D"));
             expectDemoPlaying();
         }},
        {"the demo fills the screen, the menu bar hidden",
         [&] {
             EXPECT_TRUE(fullScreenIs(true));
             EXPECT_TRUE(DesktopUser::waitFor([&] { return !menuBarShown(); }));
         }},
        {"Close Stream through the menu: the set-up steps as they were left, brand and all",
         [&] {
             ASSERT_TRUE(user().choose(*window, {"Stream", "Close Stream"}));
             expectSetUpSteps();
             EXPECT_TRUE(fullScreenIs(false));
             EXPECT_EQ(title(), cableTitle);
             ASSERT_TRUE(user().click(shown("back")));
             QQuickItem* samsung = nullptr;
             ASSERT_TRUE(DesktopUser::waitFor([&] { return (samsung = shown("vendor:Samsung")); }));
             EXPECT_TRUE(samsung->property("checked").toBool());
         }},
        {"Demo Mode from the link, reached with Tab and followed with Return",
         [&] {
             QQuickItem* link = shown("tryDemo");
             ASSERT_TRUE(link);
             for (int stop = 0; stop < 30 && !link->hasActiveFocus(); ++stop) {
                 QQuickItem* before = window->activeFocusItem();
                 ASSERT_TRUE(user().press("Tab"));
                 ASSERT_TRUE(DesktopUser::waitFor([&] {
                     return window->activeFocusItem() != before;
                 })) << stop;
             }
             ASSERT_TRUE(link->hasActiveFocus());
             ASSERT_TRUE(user().press("Return"));
             expectDemoPlaying();
         }},
        {"Close Stream with Super+W",
         [&] {
             ASSERT_TRUE(user().press("Meta+W"));
             expectSetUpSteps();
         }},
        {"Demo Mode through the File menu",
         [&] {
             ASSERT_TRUE(user().choose(*window, {"File", "Demo Mode"}));
             expectDemoPlaying();
         }},
        {"Stream > HUD > Compact, Hidden and Full, each ticked while in use",
         [&] {
             ASSERT_TRUE(DesktopUser::waitFor([&] { return shows("hudView"); }));
             const auto ticked = [&](const char* style) {
                 return DesktopUser::menuItem(*window, style)->property("checked").toBool();
             };
             ASSERT_TRUE(openMenuItem({"Stream", "HUD", "Full"}));
             EXPECT_TRUE(ticked("Full"));
             EXPECT_FALSE(ticked("Compact"));
             ASSERT_TRUE(user().click(DesktopUser::menuItem(*window, "Compact")));
             ASSERT_TRUE(DesktopUser::waitFor(
                 [&] { return shows("compactHUDView") && !shows("hudView"); }));
             ASSERT_TRUE(openMenuItem({"Stream", "HUD", "Compact"}));
             EXPECT_TRUE(ticked("Compact"));
             EXPECT_FALSE(ticked("Full"));
             ASSERT_TRUE(user().click(DesktopUser::menuItem(*window, "Hidden")));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return !shows("hudPanel"); }));
             ASSERT_TRUE(user().choose(*window, {"Stream", "HUD", "Full"}));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return shows("hudView"); }));
             EXPECT_FALSE(DesktopUser::menuOpen(*window));
         }},
        {"Switch HUD through the menu and with Super+Shift+H",
         [&] {
             ASSERT_TRUE(user().choose(*window, {"Stream", "Switch HUD"}));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return shows("compactHUDView"); }));
             ASSERT_TRUE(user().press("Meta+Shift+H"));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return !shows("hudPanel"); }));
             ASSERT_TRUE(user().press("Meta+Shift+H"));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return shows("hudView"); }));
         }},
        {"Mute Sound through the menu and with Super+Shift+M",
         [&] {
             StreamingSession* session = model().sessionObject();
             ASSERT_TRUE(user().choose(*window, {"Stream", "Mute Sound"}));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return session->isAudioMuted(); }));
             ASSERT_TRUE(openMenuItem({"Stream", "Unmute Sound"})) << "the title follows";
             closeMenus();
             ASSERT_TRUE(user().press("Meta+Shift+M"));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return !session->isAudioMuted(); }));
         }},
        {"both control modes from the toolbar's pop-up and with Super+1 and Super+2",
         [&] {
             ASSERT_TRUE(keymap());
             QQuickItem* indicator = shown("modeIndicator");
             const QString keyboardTitle = test::textOf(indicator);
             ASSERT_TRUE(user().click(shown("modeMenuButton")));
             // The entries name the modes after their shortcut's digit.
             const auto entry = [&](const char* mode) {
                 return DesktopUser::shownWithText(
                     *window, [&](const QString& text) { return text.endsWith(mode); },
                     "QQuickMenuItem");
             };
             QQuickItem* keyboardMouse = nullptr;
             ASSERT_TRUE(DesktopUser::waitFor([&] {
                 return (keyboardMouse = entry(" Keyboard & Mouse"));
             })) << "the mode shows with its ampersand";
             EXPECT_TRUE(keyboardMouse->property("checked").toBool());
             EXPECT_FALSE(entry(" Key Mapping")->property("checked").toBool());
             ASSERT_TRUE(user().click(entry(" Key Mapping")));
             // Key mapping's first use warns of online games first.
             QQuickItem* carryOn = nullptr;
             ASSERT_TRUE(DesktopUser::waitFor(
                 [&] { return (carryOn = DesktopUser::shownWithText(*window, "Continue")); }));
             ASSERT_TRUE(user().click(carryOn));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return !carryOn->isVisible(); }));
             ASSERT_TRUE(DesktopUser::waitFor([&] {
                 return keymap()->inputMode() == InputMode::keymap &&
                        test::textOf(indicator) != keyboardTitle;
             }));
             // The pointer, taken for looking around, says how to get it back.
             ASSERT_TRUE(DesktopUser::waitFor(
                 [&] { return model().pointerCaptured() && shows("captureNotice"); }));
             ASSERT_TRUE(user().press("Meta+1"));
             ASSERT_TRUE(DesktopUser::waitFor(
                 [&] { return keymap()->inputMode() == InputMode::keyboardMouse; }));
             ASSERT_TRUE(user().press("Meta+2"));
             ASSERT_TRUE(
                 DesktopUser::waitFor([&] { return keymap()->inputMode() == InputMode::keymap; }));
             EXPECT_EQ(settings().captureNoticeCount(), 1) << "once a stream";
             // Key mapping holds the pointer for looking around: the panels want it free.
             ASSERT_TRUE(user().press("Meta+1"));
             ASSERT_TRUE(DesktopUser::waitFor(
                 [&] { return keymap()->inputMode() == InputMode::keyboardMouse; }));
         }},
        {"a panel dragged away, and Reset Panel Positions",
         [&] {
             ASSERT_TRUE(test::waitForFrame(*window));
             hudAt = hudPanelAt();
             const QPoint grip = (hudAt + QPointF(10, 6)).toPoint();
             ASSERT_TRUE(user().drag(grip, grip + QPoint(160, 120)));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return hudPanelAt() != hudAt; }));
             ASSERT_TRUE(user().choose(*window, {"Stream", "Reset Panel Positions"}));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return hudPanelAt() == hudAt; }));
         }},
        {"full screen off and on through the menu, with Ctrl+Super+F and F11, and F10 in it",
         [&] {
             ASSERT_TRUE(user().choose(*window, {"Stream", "Exit Full Screen"}));
             ASSERT_TRUE(fullScreenIs(false));
             ASSERT_TRUE(user().choose(*window, {"Stream", "Enter Full Screen"}));
             ASSERT_TRUE(fullScreenIs(true));
             for (const char* keys : {"Ctrl+Meta+F", "F11"}) {
                 ASSERT_TRUE(user().press(keys));
                 ASSERT_TRUE(fullScreenIs(false)) << keys;
                 ASSERT_TRUE(user().press(keys));
                 ASSERT_TRUE(fullScreenIs(true)) << keys;
             }
             openFirstMenuWithF10();
         }},
        {"Edit Layout: a tap added, Tap clicked twice, a click on an action taken for a tap "
         "without selecting it, and a template applied, then cancelled",
         [&] {
             playedActions = keymap()->activeLayout()->profile.actions.size();
             ASSERT_TRUE(user().choose(*window, {"Stream", "Edit Layout"}));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return keymap()->isEditing(); }));
             const int before = editedActions();
             // Each click reaches its button only when the editor's bar is on top.
             QQuickItem* tap = DesktopUser::shownWithText(*window, "Tap", "QQuickButton");
             ASSERT_TRUE(user().click(tap));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return shows("captureBanner"); }));
             // The impatient hand's second click on the bar is no trigger.
             ASSERT_TRUE(user().click(tap));
             EXPECT_EQ(editedActions(), before);
             ASSERT_TRUE(user().press("J"));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return editedActions() == before + 1; }));
             EXPECT_FALSE(shows("captureBanner"));
             // A click on the picture is, also on an action: the new tap is selected, not it.
             const QList<QQuickItem*> others =
                 DesktopUser::allShown(*window, [&](const QQuickItem& item) {
                     const QString id = item.property("actionId").toString();
                     return !id.isEmpty() && id != keymap()->selection();
                 });
             ASSERT_FALSE(others.isEmpty());
             ASSERT_TRUE(user().click(tap));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return shows("captureBanner"); }));
             ASSERT_TRUE(user().click(others.back()));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return editedActions() == before + 2; }));
             EXPECT_NE(keymap()->selection(), others.back()->property("actionId").toString());
             EXPECT_FALSE(shows("captureBanner"));
             ASSERT_TRUE(
                 user().click(DesktopUser::shownWithText(*window, "Templates", "QQuickButton")));
             ASSERT_TRUE(user().click([&] {
                 QQuickItem* item = nullptr;
                 DesktopUser::waitFor(
                     [&] { return (item = DesktopUser::menuItem(*window, "MOBA")); });
                 return item;
             }()));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return keymap()->isDirty(); }));
             // Where the stream's panels lie, the editor's bar is above them.
             const bool labels = keymap()->showLabels();
             ASSERT_TRUE(
                 user().click(DesktopUser::shownWithText(*window, "Labels", "QQuickCheckBox")));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return keymap()->showLabels() != labels; }));
             ASSERT_TRUE(user().press("Escape"));
             ASSERT_TRUE(DesktopUser::waitFor(
                 [&] { return keymap()->notice().startsWith("Unsaved changes."); }));
             ASSERT_TRUE(
                 user().click(DesktopUser::shownWithText(*window, "Cancel", "QQuickButton")));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return !keymap()->isEditing(); }));
             EXPECT_EQ(keymap()->activeLayout()->profile.actions.size(), playedActions);
         }},
        {"Edit Layout again with Super+E: taps added, undone with Ctrl+Z and Super+Z, deleted "
         "with Delete and the keypad's Delete; saved with Super+E",
         [&] {
             ASSERT_TRUE(user().press("Meta+E"));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return keymap()->isEditing(); }));
             const int before = editedActions();
             // Each press acts once it has shown, as a person waits to see it.
             const auto expect = [&](const char* keys, int added) {
                 ASSERT_TRUE(user().press(keys));
                 ASSERT_TRUE(DesktopUser::waitFor([&] {
                     return editedActions() == before + added;
                 })) << keys;
             };
             const auto addTap = [&](const char* key, int added) {
                 ASSERT_TRUE(
                     user().click(DesktopUser::shownWithText(*window, "Tap", "QQuickButton")));
                 ASSERT_TRUE(DesktopUser::waitFor([&] { return shows("captureBanner"); }));
                 expect(key, added);
             };
             addTap("K", 1);
             expect("Ctrl+Z", 0);
             addTap("K", 1);
             expect("Delete", 0);
             expect("Meta+Z", 1);
             addTap("L", 2);
             expect("KP_Delete", 1);
             ASSERT_TRUE(openMenuItem({"Stream", "Save Layout"})) << "the title follows";
             closeMenus();
             ASSERT_TRUE(user().press("Meta+E"));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return !keymap()->isEditing(); }));
             EXPECT_EQ(keymap()->activeLayout()->profile.actions.size(), playedActions + 1);
         }},
        {"Export… in the editor saves the name typed in Documents with Return, asks before "
         "replacing it, and Import…, pressed from the keyboard, opens there with folders first, "
         "names that look like markup listed as written",
         [&] {
             ASSERT_TRUE(QDir::home().mkpath("Documents/zeta"));
             ASSERT_TRUE(QDir::home().mkpath("Documents/<img src=a>"));
             for (const char* name : {"<img src=x>.json", "<b>bold.json"}) {
                 QFile file(QDir::home().filePath(QStringLiteral("Documents/") + name));
                 ASSERT_TRUE(file.open(QIODevice::WriteOnly));
             }
             const auto listedAsWritten = [&] {
                 for (const QString shownName :
                      {"<img src=a>/", "<img src=x>.json", "<b>bold.json"}) {
                     QQuickItem* entry = nullptr;
                     const QString name = shownName.chopped(shownName.endsWith('/') ? 1 : 0);
                     ASSERT_TRUE(DesktopUser::waitFor([&] {
                         return (entry = shown("entry:" + name));
                     })) << name.toStdString();
                     auto* text = entry->property("contentItem").value<QQuickItem*>();
                     EXPECT_EQ(test::textOf(text), shownName);
                     EXPECT_TRUE(test::drawnAsWritten(text)) << name.toStdString();
                 }
             };
             const QString mine = QDir::home().filePath("Documents/mine.json");
             const auto size = [&] { return QFileInfo(mine).size(); };
             ASSERT_TRUE(user().press("Meta+E"));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return keymap()->isEditing(); }));
             ASSERT_TRUE(
                 user().click(DesktopUser::shownWithText(*window, "Export…", "QQuickButton")));
             QQuickItem* name = nullptr;
             ASSERT_TRUE(DesktopUser::waitFor([&] { return (name = shown("fileNameTextField")); }));
             EXPECT_TRUE(DesktopUser::shownWithText(*window, "Export Layouts"));
             EXPECT_EQ(test::textOf(name), "unknown.json") << "the demo has no game";
             ASSERT_TRUE(user().click(name));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return name->hasActiveFocus(); }));
             ASSERT_TRUE(user().press("Ctrl+A"));
             // Typed over once the name shows selected, as a person looks before typing.
             ASSERT_TRUE(DesktopUser::waitFor([&] {
                 return name->property("selectedText") == test::textOf(name);
             })) << "Ctrl+A selected nothing";
             // A Super chord types nothing, as the app's shortcuts and the desktop's are.
             for (const char* key : {"Meta+1", "m", "i", "n", "e"}) {
                 ASSERT_TRUE(user().press(key));
             }
             ASSERT_TRUE(DesktopUser::waitFor([&] { return test::textOf(name) == "mine"; }))
                 << test::textOf(name).toStdString();
             ASSERT_TRUE(user().press("Return"));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return size() > 0; }));
             QFile old(mine);
             ASSERT_TRUE(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
             old.close();
             // Picked from the list, it is asked about before it is replaced; Return keeps it,
             // and so does Escape.
             ASSERT_TRUE(
                 user().click(DesktopUser::shownWithText(*window, "Export…", "QQuickButton")));
             listedAsWritten();
             QQuickItem* entry = nullptr;
             ASSERT_TRUE(DesktopUser::waitFor([&] { return (entry = shown("entry:mine.json")); }));
             ASSERT_TRUE(user().click(entry));
             ASSERT_TRUE(DesktopUser::waitFor(
                 [&] { return test::textOf(shown("fileNameTextField")) == "mine.json"; }));
             ASSERT_TRUE(user().press("Shift+Tab"));
             ASSERT_TRUE(DesktopUser::waitFor([&] {
                 const QQuickItem* list = shown("fileEntries");
                 return list && list->hasActiveFocus();
             }));
             EXPECT_TRUE(shows("fileEntriesFocus")) << "the list shows that it has the keys";
             // The arrows choose as the click did, the field following.
             for (const auto& [key, chosen] :
                  {std::pair{"Up", "<img src=x>.json"}, std::pair{"Down", "mine.json"}}) {
                 ASSERT_TRUE(user().press(key));
                 ASSERT_TRUE(DesktopUser::waitFor([&, chosen = QString(chosen)] {
                     return test::textOf(shown("fileNameTextField")) == chosen;
                 })) << key;
             }
             ASSERT_TRUE(user().press("Return"));
             ASSERT_TRUE(DesktopUser::waitFor([&] {
                 return DesktopUser::shownWithText(*window, [](const QString& text) {
                     return text.startsWith("“mine.json” already exists in");
                 });
             }));
             EXPECT_TRUE(shown("keepButton")->property("highlighted").toBool()) << "the default";
             EXPECT_FALSE(shown("replaceButton")->property("highlighted").toBool());
             ASSERT_TRUE(user().press("Return"));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return !shows("keepButton"); }));
             ASSERT_TRUE(user().click(shown("fileDialogAccept")));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return shows("keepButton"); }));
             ASSERT_TRUE(user().press("Escape"));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return !shows("keepButton"); }));
             EXPECT_TRUE(shows("fileNameTextField")) << "the dialog stays for another name";
             EXPECT_EQ(size(), 3);
             ASSERT_TRUE(user().click(shown("fileDialogAccept")));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return shows("replaceButton"); }));
             ASSERT_TRUE(user().click(shown("replaceButton")));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return size() > 3; }));
             EXPECT_FALSE(shows("fileNameTextField"));

             // From the keyboard: Tab reaches Import…, and Space presses it.
             QQuickItem* importButton =
                 DesktopUser::shownWithText(*window, "Import…", "QQuickButton");
             ASSERT_TRUE(importButton);
             for (int tabs = 0; tabs < 30 && !importButton->hasActiveFocus(); ++tabs) {
                 QQuickItem* before = window->activeFocusItem();
                 ASSERT_TRUE(user().press("Tab"));
                 ASSERT_TRUE(
                     DesktopUser::waitFor([&] { return window->activeFocusItem() != before; }));
             }
             ASSERT_TRUE(user().press("Space"));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return shows("entry:mine.json"); }));
             EXPECT_TRUE(DesktopUser::shownWithText(*window, "Import Layouts"));
             EXPECT_TRUE(shows("fileNameTextField")) << "no field for a path";
             ASSERT_TRUE(shows("entry:zeta"));
             EXPECT_LT(shown("entry:zeta")->y(), shown("entry:mine.json")->y()) << "folders first";
             listedAsWritten();
             ASSERT_TRUE(user().click(shown("fileDialogCancel")));
             // Gone before the next key: a closing dialog still keeps the window's shortcuts.
             ASSERT_TRUE(DesktopUser::waitFor([&] { return !shows("fileNameTextField"); }));
             ASSERT_TRUE(user().press("Meta+E"));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return !keymap()->isEditing(); }));
         }},
        {"a tap added after the export: over each of the editor's dialogs and menus, Super+Q, "
         "Super+W and Super+Shift+D close it first and then ask about it; a held Super+W asks and "
         "its repeats close nothing; Super+E keeps it for the stream",
         [&] {
             ASSERT_TRUE(user().press("Meta+E"));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return keymap()->isEditing(); }));
             ASSERT_TRUE(user().click(DesktopUser::shownWithText(*window, "Tap", "QQuickButton")));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return shows("captureBanner"); }));
             ASSERT_TRUE(user().press("N"));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return keymap()->isDirty(); }));
             // Each is opened with clicks on these, named or shown as text, and shows the last.
             const QStringList popups[] = {
                 {"Export…", "fileNameTextField"},
                 {"Export…", "entry:mine.json", "fileDialogAccept", "keepButton"},
                 {"Import…", "Import…", "fileNameTextField"},
                 {"layoutButton", "Rename…", "renameField"},
                 {"layoutButton", "New Layout", "Copy of Current"},
                 {"Templates", "MOBA"},
             };
             const auto find = [&](const QString& name) {
                 QQuickItem* item = shown(name);
                 return item ? item : DesktopUser::shownWithText(*window, name);
             };
             const std::pair<const char*, QString> ways[] = {
                 {"Meta+Q", "Quit again"},
                 {"Meta+W", "Close the stream again"},
                 {"Meta+Shift+D", "Choose Demo Mode again"}};
             int turn = 0;
             for (const QStringList& popup : popups) {
                 // Each way in turn: the one before it was asked about and would go on.
                 const auto& [chord, again] = ways[turn++ % std::size(ways)];
                 SCOPED_TRACE(popup.join(" > ").toStdString() + " " + chord);
                 for (const QString& name : popup) {
                     QQuickItem* item = nullptr;
                     ASSERT_TRUE(DesktopUser::waitFor([&] { return (item = find(name)); }));
                     if (&name != &popup.back()) {
                         ASSERT_TRUE(user().click(item));
                     }
                 }
                 ASSERT_TRUE(user().press(chord));
                 ASSERT_TRUE(DesktopUser::waitFor([&] {
                     return !DesktopUser::menuOpen(*window) && !shows("fileNameTextField") &&
                            !shows("keepButton") && !shows("renameField") &&
                            test::textOf(shown("noticeBanner")).contains(again);
                 })) << test::textOf(shown("noticeBanner")).toStdString();
                 EXPECT_EQ(test::textOf(shown("noticeBanner")),
                           "Layouts without a game end with the stream. " + again +
                               " to discard them, or Export… to keep them in a file.");
                 EXPECT_TRUE(keymap()->isEditing() && streaming());
             }
             // A held chord is one press: the keyboard's repeats answer no question.
             ASSERT_TRUE(user().hands().hold("Meta+W"));
             ASSERT_TRUE(DesktopUser::waitFor([&] {
                 return test::textOf(shown("noticeBanner")).contains("Close the stream again");
             }));
             for (int repeat = 0; repeat < 3; ++repeat) {
                 ASSERT_TRUE(user().hands().hold("W"));
             }
             ASSERT_TRUE(user().hands().release("Meta+W"));
             ASSERT_TRUE(user().press("Meta+E"));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return !keymap()->isEditing(); }));
             EXPECT_TRUE(streaming());
         }},
        {"Start Recording is offered only with a phone",
         [&] {
             QQuickItem* record = openMenuItem({"Stream", "Start Recording"});
             ASSERT_TRUE(record);
             EXPECT_FALSE(record->isEnabled());
             closeMenus();
         }},
        {"Quit through the Vantorel menu asks first about the demo's layouts changed since "
         "their export, in the toast; closing the window is a quit, and now quits",
         [&] {
             ASSERT_TRUE(user().choose(*window, {"Vantorel", "Quit Vantorel"}));
             ASSERT_TRUE(DesktopUser::waitFor([&] {
                 return DesktopUser::shownWithText(*window, [](const QString& text) {
                     return text.startsWith(
                         "Layouts without a game end with the stream. Quit "
                         "again to discard them, or Super+E, then Export…");
                 });
             }));
             ASSERT_TRUE(user().press("Alt+F4"));
         }},
    });
    EXPECT_EQ(ended, 0);
}

// The values of every setting, to see which one a control changed.
QVariantList settingValues(const AppSettings& settings) {
    QVariantList values;
    const QMetaObject& type = *settings.metaObject();
    for (int i = type.propertyOffset(); i < type.propertyCount(); ++i) {
        values.append(type.property(i).read(&settings));
    }
    return values;
}

// The controls a user reaches with Tab: shown, enabled and taking the focus from the keyboard.
QList<QQuickItem*> tabStops(QQuickItem* root) {
    QList<QQuickItem*> stops;
    if (!root || !root->isVisible() || !root->isEnabled()) {
        return stops;
    }
    if (root->activeFocusOnTab()) {
        stops.append(root);
    }
    for (QQuickItem* child : root->childItems()) {
        stops += tabStops(child);
    }
    return stops;
}

TEST_F(JourneyTest, TheAppsWindowsAndTheShortcutsThatWorkFromEach) {
    QQuickWindow* settingsWindow = nullptr;
    QQuickWindow* guide = nullptr;

    const int ended = running.run({
        {"F10 opens the first menu, Escape closes it",
         [&] {
             ASSERT_TRUE(user().activate(*window));
             openFirstMenuWithF10();
         }},
        {"F10 with the pointer resting on the bar's last title opens the first menu, and Right "
         "the next",
         [&] {
             QQuickItem* help = DesktopUser::shownWithText(*window, "Help", "QQuickMenuBarItem");
             ASSERT_TRUE(help);
             ASSERT_TRUE(user().moveTo(help->mapToGlobal(help->boundingRect().center()).toPoint()));
             // Qt hovers again under the pointer as the next frame is made, once a menu shows.
             ASSERT_TRUE(user().press("F10"));
             ASSERT_TRUE(DesktopUser::waitFor(
                 [&] { return DesktopUser::menuItem(*window, "About Vantorel"); }));
             ASSERT_TRUE(test::waitForFrame(*window));
             EXPECT_TRUE(DesktopUser::menuItem(*window, "About Vantorel")) << "Help opened";
             ASSERT_TRUE(user().press("Right"));
             EXPECT_TRUE(DesktopUser::waitFor([&] {
                 return DesktopUser::menuItem(*window, "Demo Mode") &&
                        DesktopUser::openMenus(*window) == 1;
             }));
             ASSERT_TRUE(test::waitForFrame(*window));
             EXPECT_TRUE(DesktopUser::menuItem(*window, "Demo Mode")) << "Help opened";
             closeMenus();
             // Off the bar, which a full screen shows under the pointer.
             ASSERT_TRUE(user().moveTo(
                 window->mapToGlobal(window->contentItem()->boundingRect().center()).toPoint()));
         }},
        {"F11 on the set-up steps: full screen without the menu bar, and back",
         [&] {
             ASSERT_TRUE(user().press("F11"));
             ASSERT_TRUE(fullScreenIs(true));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return !menuBarShown(); }));
             ASSERT_TRUE(user().press("F11"));
             ASSERT_TRUE(fullScreenIs(false));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return menuBarShown(); }));
         }},
        {"Super+D shows the desktop; a later start's request brings the window back, focused",
         [&] {
             ASSERT_TRUE(user().press("Meta+D"));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return !window->isExposed(); }));
             SceneWindows::bringForward(window);
             EXPECT_TRUE(DesktopUser::waitFor(
                 [&] { return window->isExposed() && DesktopUser::focusWindow() == window; }));
         }},
        {"About and its licences through the Vantorel menu",
         [&] {
             ASSERT_TRUE(user().choose(*window, {"Vantorel", "About Vantorel"}));
             QQuickWindow* about = nullptr;
             ASSERT_TRUE(opened("About Vantorel", about));
             ASSERT_TRUE(user().click(DesktopUser::shown(*about, "licenses")));
             QQuickWindow* licenses = nullptr;
             ASSERT_TRUE(opened("Licenses", licenses));
             EXPECT_TRUE(DesktopUser::waitFor([&] {
                 return !test::textOf(DesktopUser::shown(*licenses, "licenseText")).isEmpty();
             }));
             ASSERT_TRUE(user().click(DesktopUser::shown(*licenses, "done")));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return !licenses->isVisible(); }));
         }},
        {"developer mode from a Ctrl-click on the version: the window manager takes Alt-clicks",
         [&] {
             QQuickWindow* about = DesktopUser::window("About Vantorel");
             ASSERT_TRUE(about);
             ASSERT_TRUE(user().activate(*about));
             xcb_connection_t* connection =
                 qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
             const auto heightOnScreen = [&] {
                 const ReplyPointer<xcb_get_geometry_reply_t> geometry(
                     xcb_get_geometry_reply(
                         connection, xcb_get_geometry(connection, xcb_window_t(about->winId())),
                         nullptr),
                     &std::free);
                 return geometry ? geometry->height : 0;
             };
             const int before = heightOnScreen();
             ASSERT_TRUE(user().hands().hold("Ctrl"));
             ASSERT_TRUE(user().click(DesktopUser::shown(*about, "version")));
             ASSERT_TRUE(user().hands().release("Ctrl"));
             ASSERT_TRUE(DesktopUser::waitFor(
                 [&] { return DesktopUser::shown(*about, "developerModeOn"); }));
             // On the screen the window grows to the line that came.
             EXPECT_TRUE(DesktopUser::waitFor([&] { return heightOnScreen() > before; }));
             ASSERT_TRUE(user().press("Escape"));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return !about->isVisible(); }));
         }},
        {"Settings through the Vantorel menu: every control reached with Tab, the last one "
         "changed",
         [&] {
             ASSERT_TRUE(user().activate(*window));
             ASSERT_TRUE(user().choose(*window, {"Vantorel", "Settings…"}));
             ASSERT_TRUE(opened("Settings", settingsWindow));
             const QList<QQuickItem*> controls = tabStops(settingsWindow->contentItem());
             ASSERT_GE(controls.size(), 4);
             // It opens with the keys on its first control.
             ASSERT_TRUE(DesktopUser::waitFor(
                 [&] { return settingsWindow->activeFocusItem() == controls.first(); }));
             QList<QQuickItem*> reached{controls.first()};
             while (reached.size() < controls.size()) {
                 QQuickItem* before = settingsWindow->activeFocusItem();
                 ASSERT_TRUE(user().press("Tab"));
                 ASSERT_TRUE(DesktopUser::waitFor(
                     [&] { return settingsWindow->activeFocusItem() != before; }));
                 QQuickItem* now = settingsWindow->activeFocusItem();
                 ASSERT_TRUE(controls.contains(now)) << "Tab went outside the form";
                 ASSERT_FALSE(reached.contains(now)) << "Tab came round before the end";
                 reached.append(now);
             }
             // The last control, changed from the keyboard as its kind is.
             const QVariantList before = settingValues(settings());
             QQuickItem* last = reached.back();
             ASSERT_TRUE(user().press(last->inherits("QQuickAbstractButton") ? "Space" : "Down"));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return settingValues(settings()) != before; }))
                 << last->metaObject()->className() << " changed no setting";
         }},
        {"the guide with Super+? from the Settings window",
         [&] {
             ASSERT_TRUE(user().press("Meta+?"));
             ASSERT_TRUE(opened("Vantorel Guide", guide));
         }},
        {"a page of the guide",
         [&] {
             QList<QQuickItem*> sections;
             ASSERT_TRUE(DesktopUser::waitFor([&] {
                 sections = DesktopUser::allShown(*guide, [](const QQuickItem& item) {
                     return item.objectName().startsWith("section:");
                 });
                 return sections.size() > 1;
             }));
             EXPECT_FALSE(sections[1]->property("highlighted").toBool());
             ASSERT_TRUE(user().click(sections[1]));
             ASSERT_TRUE(DesktopUser::waitFor(
                 [&] { return sections[1]->property("highlighted").toBool(); }));
             ASSERT_TRUE(user().press("Down"));
             ASSERT_TRUE(DesktopUser::waitFor(
                 [&] { return sections[2]->property("highlighted").toBool(); }));
         }},
        {"Settings with Super+, from the guide",
         [&] {
             ASSERT_TRUE(user().press("Meta+,"));
             ASSERT_TRUE(opened("Settings", settingsWindow));
         }},
        {"the guide closed by the window manager",
         [&] {
             ASSERT_TRUE(user().activate(*guide));
             ASSERT_TRUE(user().press("Alt+F4"));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return !guide->isVisible(); }));
         }},
        {"the guide again, through the Help menu over the full-screen demo, closed with Escape",
         [&] {
             ASSERT_TRUE(user().activate(*window));
             ASSERT_TRUE(user().press("Meta+Shift+D"));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return streaming(); }));
             ASSERT_TRUE(fullScreenIs(true));
             ASSERT_TRUE(user().choose(*window, {"Help", "Vantorel Guide"}));
             ASSERT_TRUE(opened("Vantorel Guide", guide));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return DesktopUser::shown(*guide, "page"); }))
                 << "the guide opened empty";
             // Before the key the person looks: the screen shows the guide over the full-screen
             // window it belongs to. It would hide that window's menus if it stayed.
             ASSERT_TRUE(user().press("Escape"));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return !guide->isVisible(); }));
         }},
        {"the Developer menu over the demo: the raw stream switch and the flash test",
         [&] {
             ASSERT_TRUE(user().activate(*window));
             ASSERT_TRUE(user().choose(*window, {"Developer", "Record Raw Stream (.qmstream)"}));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return model().captureRawStream(); }));
             ASSERT_TRUE(user().choose(*window, {"Developer", "Flash Test (data: URL)…"}));
             QQuickItem* cancel = nullptr;
             ASSERT_TRUE(DesktopUser::waitFor([&] { return (cancel = shown("cancelButton")); }));
             ASSERT_TRUE(user().click(cancel));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return !shows("flashTestSheet"); }));
         }},
        {"Super+Q from the Settings window quits",
         [&] {
             ASSERT_TRUE(user().activate(*settingsWindow));
             ASSERT_TRUE(user().press("Meta+Q"));
         }},
    });
    EXPECT_EQ(ended, 0);
}

TEST_F(JourneyTest, TabInTheEditorGoesRoundItsOwnControlsOnly) {
    const auto inEditor = [](const QQuickItem* item) {
        for (; item; item = item->parentItem()) {
            if (item->objectName() == "editorToolbar") {
                return true;
            }
        }
        return false;
    };
    const int ended = running.run({
        {"the demo's layout edited with Super+E, every Tab stop on the editor's bar",
         [&] {
             ASSERT_TRUE(user().press("Meta+Shift+D"));
             expectDemoPlaying();
             ASSERT_TRUE(user().press("Meta+E"));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return model().streamKeymap()->isEditing(); }));
             // Twice round the bar: the stream's panels lie under the editor, out of sight.
             for (int stop = 0; stop < 24; ++stop) {
                 QQuickItem* before = window->activeFocusItem();
                 ASSERT_TRUE(user().press("Tab"));
                 ASSERT_TRUE(
                     DesktopUser::waitFor([&] { return window->activeFocusItem() != before; }));
                 QQuickItem* focused = window->activeFocusItem();
                 EXPECT_TRUE(inEditor(focused))
                     << "stop " << stop << ": " << focused->metaObject()->className() << " "
                     << focused->objectName().toStdString();
             }
             ASSERT_TRUE(user().press("Escape"));
             ASSERT_TRUE(
                 DesktopUser::waitFor([&] { return !model().streamKeymap()->isEditing(); }));
             ASSERT_TRUE(user().press("Meta+W"));
             expectSetUpSteps();
             ASSERT_TRUE(user().press("Meta+Q"));
         }},
    });
    EXPECT_EQ(ended, 0);
}

}  // namespace
}  // namespace qm
