#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <memory>

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace qm
