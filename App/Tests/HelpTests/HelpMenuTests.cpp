#include <QDesktopServices>
#include <QFile>
#include <QGuiApplication>
#include <QQmlEngine>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QUrlQuery>
#include <vector>

#include <gtest/gtest.h>

#include "ViewTesting.h"
#include "XTestInput.h"

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

TEST_F(HelpMenuTest, SuperShiftSlashOpensTheGuide) {
    QQuickWindow& window = show();
    window.requestActivate();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    // Super, Shift and "/" pressed on the server's own keyboard, as a user's hands would, so
    // that the key reaches the shortcut as "?" with Shift and Super held.
    test::XTestInput hands;
    ASSERT_TRUE(hands.press("Meta+?"));

    auto* guide = window.findChild<QWindow*>("guideWindow");
    ASSERT_TRUE(guide);
    EXPECT_TRUE(QTest::qWaitFor([&] { return guide->isVisible(); }));
}

}  // namespace
}  // namespace qm

#include "HelpMenuTests.moc"
