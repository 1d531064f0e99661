#include <QDesktopServices>
#include <QFile>
#include <QGuiApplication>
#include <QQmlEngine>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QUrlQuery>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <gtest/gtest.h>

#include "ViewTesting.h"

namespace qm {
namespace {

using test::findItem;
using test::isShown;

// Catches the addresses given to the desktop's browser.
class UrlCatcher : public QObject {
    Q_OBJECT

public:
    UrlCatcher() {
        QDesktopServices::setUrlHandler("https", this, "open");
        QDesktopServices::setUrlHandler("http", this, "open");
    }
    ~UrlCatcher() override {
        QDesktopServices::unsetUrlHandler("https");
        QDesktopServices::unsetUrlHandler("http");
    }

    std::vector<QUrl> opened;

public slots:
    void open(const QUrl& url) { opened.push_back(url); }
};

// The Help menu in a menu bar, over a bundle whose Info.json the test writes.
class HelpMenuTest : public ::testing::Test {
protected:
    void writeInfo(const QByteArray& json) {
        QFile info(bundle_.filePath("Info.json"));
        ASSERT_TRUE(info.open(QIODevice::WriteOnly));
        info.write(json);
    }

    QQuickWindow& show() {
        window_ = test::showWindow(engine_, R"(
            import QtQuick
            import QtQuick.Controls
            import Vantorel
            ApplicationWindow {
                required property string bundle
                width: 500; height: 400
                menuBar: MenuBar { HelpMenu { objectName: "helpMenu"; bundleRoot: bundle } }
                Window { id: guide; objectName: "guideWindow"; title: "Vantorel Guide" }
                Component.onCompleted: SceneWindows.add("guide", guide)
            })",
                                   {{"bundle", bundle_.path()}});
        return *window_;
    }

    // Opens the menu and waits for a frame drawn with it, when its items are laid out.
    void open(QObject* menu) {
        QMetaObject::invokeMethod(menu, "open");
        EXPECT_TRUE(QTest::qWaitFor([&] { return menu->property("opened").toBool(); }));
        EXPECT_TRUE(test::waitForFrame(*window_));
    }

    // Opens the menu and chooses the item of that name.
    void choose(const QString& name) {
        QObject* menu = window_->findChild<QObject*>("helpMenu");
        ASSERT_TRUE(menu);
        open(menu);
        EXPECT_TRUE(isShown(*window_, name));
        test::click(*window_, findItem(*window_, name));
        EXPECT_TRUE(QTest::qWaitFor([&] { return !menu->property("visible").toBool(); }));
    }

    QTemporaryDir bundle_;
    QQmlEngine engine_;
    test::ShownWindow window_;
    UrlCatcher urls_;
};

TEST_F(HelpMenuTest, SupportItemsOpenTheSitesPagesWithTheVersion) {
    writeInfo(R"({"QMSupportURL": "https://help.example.com/support",
                  "CFBundleShortVersionString": "2.1+1", "CFBundleVersion": "57"})");
    show();

    choose("quickFixes");
    choose("contactSupport");
    choose("suggestFeature");
    ASSERT_EQ(urls_.opened.size(), 3u);
    EXPECT_EQ(urls_.opened[0], QUrl("https://help.example.com/support"));
    for (const auto& [url, topic] :
         {std::pair{urls_.opened[1], "bug"}, {urls_.opened[2], "idea"}}) {
        EXPECT_EQ(url.path(), "/support");
        EXPECT_EQ(url.fragment(), "form");
        const QUrlQuery query(url);
        EXPECT_EQ(query.queryItemValue("v", QUrl::FullyDecoded), "2.1+1 (57)");
        EXPECT_EQ(query.queryItemValue("topic"), topic);
    }
}

TEST_F(HelpMenuTest, WithoutASiteOnlyTheGuideIsOffered) {
    writeInfo(R"({"QMSupportURL": "http://help.example.com/"})");
    QQuickWindow& window = show();
    QObject* menu = window.findChild<QObject*>("helpMenu");
    open(menu);
    EXPECT_TRUE(isShown(window, "guide"));
    for (const char* item : {"quickFixes", "contactSupport", "suggestFeature"}) {
        EXPECT_FALSE(isShown(window, item)) << item;
    }
    EXPECT_TRUE(urls_.opened.empty());
}

// The X server's first key code for a key symbol; 0 for none.
xcb_keycode_t keycodeOf(xcb_connection_t* connection, xcb_keysym_t symbol) {
    const xcb_setup_t* setup = xcb_get_setup(connection);
    const int count = setup->max_keycode - setup->min_keycode + 1;
    std::unique_ptr<xcb_get_keyboard_mapping_reply_t, decltype(&std::free)> mapping(
        xcb_get_keyboard_mapping_reply(
            connection, xcb_get_keyboard_mapping(connection, setup->min_keycode, uint8_t(count)),
            nullptr),
        &std::free);
    if (!mapping) {
        return 0;
    }
    const xcb_keysym_t* symbols = xcb_get_keyboard_mapping_keysyms(mapping.get());
    const int perCode = mapping->keysyms_per_keycode;
    for (int code = 0; code < count; ++code) {
        for (int level = 0; level < perCode; ++level) {
            if (symbols[code * perCode + level] == symbol) {
                return xcb_keycode_t(setup->min_keycode + code);
            }
        }
    }
    return 0;
}

TEST_F(HelpMenuTest, SuperShiftSlashOpensTheGuide) {
    QQuickWindow& window = show();
    window.requestActivate();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    ASSERT_TRUE(x11);
    xcb_connection_t* connection = x11->connection();
    // Super, Shift and "/" pressed on the server's own keyboard, as a user's hands would, so
    // that the key reaches the shortcut as "?" with Shift and Super held.
    const std::vector<xcb_keycode_t> keys{keycodeOf(connection, 0xffeb /* Super_L */),
                                          keycodeOf(connection, 0xffe1 /* Shift_L */),
                                          keycodeOf(connection, 0x2f /* slash */)};
    ASSERT_EQ(std::count(keys.begin(), keys.end(), 0), 0);
    for (const xcb_keycode_t key : keys) {
        xcb_test_fake_input(connection, XCB_KEY_PRESS, key, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    }
    for (auto key = keys.rbegin(); key != keys.rend(); ++key) {
        xcb_test_fake_input(connection, XCB_KEY_RELEASE, *key, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    }
    xcb_flush(connection);

    auto* guide = window.findChild<QWindow*>("guideWindow");
    ASSERT_TRUE(guide);
    EXPECT_TRUE(QTest::qWaitFor([&] { return guide->isVisible(); }));
}

}  // namespace
}  // namespace qm

#include "HelpMenuTests.moc"
