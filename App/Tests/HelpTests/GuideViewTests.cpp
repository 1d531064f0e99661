#include <QDir>
#include <QFile>
#include <QQmlEngine>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <algorithm>
#include <memory>

#include <gtest/gtest.h>

#include "ViewTesting.h"

namespace qm {
namespace {

using test::findItem;
using test::shownItems;
using test::textOf;

// The guide of the built bundle, whose Info.json names no support site.
class GuideViewTest : public ::testing::Test {
protected:
    ~GuideViewTest() override {
        window_.reset();
        // The pages a closed guide window dropped.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    QQuickWindow& show(const QByteArray& qml,
                       const QString& bundle = QStringLiteral(QM_BUNDLE_DIR)) {
        window_ = test::showWindow(engine_, qml, {{"bundle", bundle}});
        return *window_;
    }
    QQuickWindow& showGuide(const QString& bundle = QStringLiteral(QM_BUNDLE_DIR)) {
        return show(R"(
            import QtQuick
            import Vantorel
            Window {
                required property string bundle
                width: 900; height: 640
                GuideView { anchors.fill: parent; bundleRoot: bundle }
            })",
                    bundle);
    }
    void click(const QString& name) { test::click(*window_, findItem(*window_, name)); }
    QString pageTitle() { return textOf(findItem(*window_, "pageTitle")); }
    int shownCount(const QString& name) {
        return int(shownItems(findItem(*window_, "page"), name).size());
    }

    QQmlEngine engine_;
    test::ShownWindow window_;
};

TEST_F(GuideViewTest, PagesNumberStepsFromOneAndHideSupportWithoutASite) {
    QQuickWindow& window = showGuide();
    EXPECT_EQ(pageTitle(), "Start Here");

    for (const char* section : {"start", "keymap", "layouts"}) {
        click(QStringLiteral("section:") + section);
        for (QQuickItem* steps : shownItems(findItem(window, "page"), "steps")) {
            const auto numbers = shownItems(steps, "stepNumber");
            ASSERT_FALSE(numbers.isEmpty()) << section;
            for (int row = 0; row < numbers.size(); ++row) {
                EXPECT_EQ(textOf(numbers[row]), QString::number(row + 1)) << section;
            }
        }
    }

    // Every heading has something under it.
    click("section:keymap");
    EXPECT_EQ(shownCount("heading"), 1);
    EXPECT_EQ(shownCount("item"), 3);

    // Without a site nothing speaks of its pages.
    click("section:help");
    EXPECT_EQ(pageTitle(), "Help and Support");
    EXPECT_EQ(shownCount("supportLinks"), 0);
    for (QQuickItem* paragraph : shownItems(findItem(window, "page"), "paragraph")) {
        EXPECT_FALSE(textOf(paragraph).contains("Support")) << textOf(paragraph).toStdString();
        EXPECT_FALSE(textOf(paragraph).contains("support page"));
    }
}

TEST_F(GuideViewTest, WithASiteTheHelpPageSaysHowToWriteToUs) {
    QTemporaryDir bundle;
    ASSERT_TRUE(QDir(bundle.path()).mkpath("Guide"));
    ASSERT_TRUE(
        QFile::copy(QM_BUNDLE_DIR "/Guide/guide.json", bundle.filePath("Guide/guide.json")));
    QFile info(bundle.filePath("Info.json"));
    ASSERT_TRUE(info.open(QIODevice::WriteOnly));
    info.write(R"({"QMSupportURL": "https://help.example.com/support"})");
    info.close();
    QQuickWindow& window = showGuide(bundle.path());
    click("section:help");
    const auto paragraphs = shownItems(findItem(window, "page"), "paragraph");
    EXPECT_TRUE(std::ranges::any_of(paragraphs, [](QQuickItem* paragraph) {
        return textOf(paragraph) ==
               "Found a bug or have an idea? Write to us: a real person reads every message. "
               "Contact Support fills in your app and Linux versions.";
    }));
}

TEST_F(GuideViewTest, TheButtonRaisesTheOneWindowWhichOpensAtStartHere) {
    // The one guide window, made at start and closed, as the application has it.
    const test::ShownWindow guide = test::showWindow(
        engine_,
        "import Vantorel\nGuideWindow { required property string bundle; bundleRoot: bundle }",
        {{"bundle", QStringLiteral(QM_BUNDLE_DIR)}});
    ASSERT_TRUE(guide);
    guide->close();
    EXPECT_FALSE(findItem(*guide, "page"));
    show(R"(
        import QtQuick
        import Vantorel
        Window {
            width: 200; height: 100
            GuideButton { objectName: "guideButton" }
        })");

    const auto guideWindows = [] {
        int count = 0;
        for (QWindow* each : QGuiApplication::topLevelWindows()) {
            count += each->isVisible() && each->title() == "Vantorel Guide";
        }
        return count;
    };
    click("guideButton");
    EXPECT_TRUE(QTest::qWaitFor([&] { return guide->isExposed(); }));
    click("guideButton");
    EXPECT_EQ(guideWindows(), 1);

    test::click(*guide, findItem(*guide, "section:fairPlay"));
    EXPECT_EQ(textOf(findItem(*guide, "pageTitle")), "Online Games");
    guide->close();
    EXPECT_FALSE(findItem(*guide, "page"));
    click("guideButton");
    EXPECT_TRUE(QTest::qWaitFor([&] { return guide->isExposed(); }));
    EXPECT_EQ(textOf(findItem(*guide, "pageTitle")), "Start Here");
    EXPECT_EQ(guideWindows(), 1);
}

}  // namespace
}  // namespace qm
