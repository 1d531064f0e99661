#include <QGuiApplication>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include "Desktop/XcbReply.h"
#include "DesktopUser.h"
#include "Input/DisplayWatch.h"
#include "Input/GrabFocusFilter.h"
#include "Input/InputHost.h"
#include "Input/MenuTracking.h"
#include "InputFakes.h"
#include "ViewTesting.h"

namespace qm {
namespace {

TEST(InputHostTest, AttachesWhileInAWindowAndFollowsItsWindow) {
    QTemporaryDir folder;
    QSettings store(folder.filePath("settings.ini"), QSettings::IniFormat);
    AppSettings settings(store);
    test::FakeModel model(settings);
    test::FakeSession session;
    model.current = &session;
    test::FakeChooser chooser;
    KeymapController keymap("com.game", std::nullopt, chooser);

    QQmlEngine engine;
    test::ShownWindow window =
        test::showWindow(engine, R"(
        import QtQuick
        import Vantorel
        import QtQuick.Controls
        Window {
            property QtObject inputModel
            property KeymapController inputKeymap
            width: 200; height: 100
            Menu {
                objectName: "menu"
                MenuItem { text: "Item" }
            }
            InputHost {
                objectName: "host"
                anchors.fill: parent
                model: inputModel
                keymap: inputKeymap
            }
        })",
                         {{"inputModel", QVariant::fromValue<QObject*>(&model)},
                          {"inputKeymap", QVariant::fromValue(&keymap)}});
    ASSERT_TRUE(window);
    auto* host = qobject_cast<InputHost*>(test::findItem(window->contentItem(), "host"));
    ASSERT_TRUE(host && host->coordinator());
    EXPECT_EQ(model.keymap, &keymap);
    EXPECT_EQ(model.requester, host->coordinator());

    host->setParentItem(nullptr);
    EXPECT_EQ(model.keymap, nullptr) << "out of the window: detached";
    host->setParentItem(window->contentItem());
    EXPECT_EQ(model.requester, host->coordinator());

    // A menu opening or a sheet lets go of what is held.
    session.router.setMode(InputMode::keyboardMouse);
    const auto pressAndCount = [&](const auto& letGo) {
        session.router.handle(KeyDownEvent{0, {}, false});
        session.messages.clear();
        letGo();
        return session.messages.size();
    };
    EXPECT_EQ(pressAndCount([] { MenuTracking::shared().willShow(); }), 1u);

    // While a menu is open the stream has not the keyboard, so it captures nothing.
    window->requestActivate();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    EXPECT_TRUE(host->isKeyWindow());
    QObject* menu = window->findChild<QObject*>("menu");
    ASSERT_TRUE(menu && QMetaObject::invokeMethod(menu, "open"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return menu->property("opened").toBool(); }));
    EXPECT_FALSE(host->isKeyWindow());
    QMetaObject::invokeMethod(menu, "close");
    EXPECT_TRUE(QTest::qWaitFor([&] { return host->isKeyWindow(); }));

    EXPECT_EQ(pressAndCount([&] { host->setSheetCount(1); }), 1u);
}

// The display's time is told from the host's clock by the smallest gap seen between a stamp and
// its reading, which may grow a millisecond a second; it wraps as the display's does.
TEST(DisplayClockTest, TellsTheDisplaysTimeByTheEventReadSoonestAfterItsStamp) {
    DisplayClock clock;
    EXPECT_EQ(clock.now(0), std::nullopt);
    clock.seen(5'000, 100'020);  // read 20 ms late
    EXPECT_EQ(clock.now(100'520), 5'500u);
    clock.seen(5'600, 100'605);  // sooner: 5 ms
    EXPECT_EQ(clock.now(100'705), 5'700u);
    clock.seen(5'700, 103'705);  // read by an app stalled 3 s
    EXPECT_EQ(clock.now(103'705), 8'697u) << "3 ms of drift allowed";
    // Thirteen seconds on, the clocks may have drifted 13 ms apart.
    EXPECT_EQ(clock.now(113'705), 18'687u);
    clock.seen(18'698, 113'705);
    EXPECT_EQ(clock.now(113'705), 18'698u);

    DisplayClock wrapping;
    wrapping.seen(0xffff'fff0, 1'000);
    wrapping.seen(0x10, 1'032);
    EXPECT_EQ(wrapping.now(1'040), 0x18u);
}

// X reports the app's own keyboard grab as the focus going to the grab's window: a game's grab,
// taken as the window manager gives another window of the app the keyboard, leaves it there.
TEST(GrabFocusFilterTest, TheAppsOwnGrabLeavesTheFocusWithTheWindowInFront) {
    xcb_connection_t* app = x11Connection();
    ASSERT_NE(app, nullptr) << "not on X11";
    const GrabFocusFilter filter;
    QWindow game;
    QWindow front;
    for (QWindow* shown : {&game, &front}) {
        shown->resize(100, 100);
        shown->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(shown));
    }
    const auto id = [](const QWindow& window) { return xcb_window_t(window.winId()); };
    xcb_set_input_focus(app, XCB_INPUT_FOCUS_PARENT, id(front), XCB_CURRENT_TIME);
    xcb_flush(app);
    ASSERT_TRUE(
        test::DesktopUser::waitFor([&] { return QGuiApplication::focusWindow() == &front; }));
    std::free(xcb_grab_keyboard_reply(app,
                                      xcb_grab_keyboard(app, 0, id(game), XCB_CURRENT_TIME,
                                                        XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
                                      nullptr));
    // Reaches the window after what the grab brought it.
    const std::array<std::uint32_t, 2> size{123, 45};
    xcb_configure_window(app, id(front), XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT,
                         size.data());
    xcb_flush(app);
    ASSERT_TRUE(test::DesktopUser::waitFor([&] { return front.width() == 123; }));
    EXPECT_EQ(QGuiApplication::focusWindow(), &front) << "the grab took the focus";
    xcb_ungrab_keyboard(app, XCB_CURRENT_TIME);
    xcb_flush(app);
}

}  // namespace
}  // namespace qm
