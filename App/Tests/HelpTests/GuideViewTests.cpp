#include <QDir>
#include <QFile>
#include <QImage>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQmlExpression>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdlib>
#include <memory>

#include <gtest/gtest.h>

#include "ViewTesting.h"

namespace qm {
namespace {

using test::findItem;
using test::isShown;
using test::shownItems;
using test::textOf;

// The strongest colour drawn inside the item, against what shows at its top-left corner.
QColor inkOf(QQuickWindow& window, const QQuickItem& item) {
    const QImage image = window.grabWindow();
    const qreal scale = window.devicePixelRatio();
    const QRectF place = item.mapRectToScene(item.boundingRect());
    const QRect area(QRectF(place.topLeft() * scale, place.size() * scale).toAlignedRect());
    const QColor paper = image.pixelColor(area.topLeft());
    const auto distance = [](const QColor& a, const QColor& b) {
        return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
               std::abs(a.blue() - b.blue());
    };
    QColor ink = paper;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor seen = image.pixelColor(x, y);
            if (distance(seen, paper) > distance(ink, paper)) {
                ink = seen;
            }
        }
    }
    return ink;
}

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
    // The application's own guide window, 900x640.
    test::ShownWindow showGuideWindow() {
        return test::showWindow(
            engine_,
            "import Vantorel\nGuideWindow { required property string bundle; bundleRoot: bundle }",
            {{"bundle", QStringLiteral(QM_BUNDLE_DIR)}});
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
    QQuickItem* icon = findItem(window, "pageIcon");
    ASSERT_TRUE(icon);
    ASSERT_TRUE(test::waitForFrame(window));
    const QColor accent =
        QQmlExpression(qmlContext(icon), icon, "palette.highlight").evaluate().value<QColor>();
    const QColor ink = inkOf(window, *icon);
    EXPECT_LE(std::abs(ink.hue() - accent.hue()), 8) << ink.name().toStdString();
    EXPECT_LE(std::abs(ink.saturation() - accent.saturation()), 24) << ink.name().toStdString();

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
    const test::ShownWindow guide = showGuideWindow();
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

TEST_F(GuideViewTest, KeysScrollThePageThatHasTheFocusAndSaySo) {
    const test::ShownWindow guide = showGuideWindow();
    ASSERT_TRUE(guide);
    guide->requestActivate();
    ASSERT_TRUE(QTest::qWaitForWindowActive(guide.get()));
    const auto press = [&](Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(guide.get(), key, modifiers);
    };
    for (int row = 0; row < 4; ++row) {
        press(Qt::Key_Down);
    }
    ASSERT_EQ(textOf(findItem(*guide, "pageTitle")), "Key Mapping");

    QQuickItem* page = findItem(*guide, "page");
    auto* view = page->property("contentItem").value<QQuickItem*>();
    QQuickItem* bar = findItem(*guide, "pageScrollBar");
    ASSERT_TRUE(view && bar);
    const auto top = [&] { return view->property("contentY").toReal(); };
    const auto inSight = [&](const QQuickItem* item) {
        if (!item) {
            return false;
        }
        const QRectF place = item->mapRectToItem(page, item->boundingRect());
        return place.top() >= 0 && place.bottom() <= page->height();
    };
    // Found again each time: keys that went to the sidebar would change the page.
    const auto title = [&] { return findItem(*guide, "pageTitle"); };
    const auto lastTip = [&] {
        const auto tips = shownItems(page, "tip");
        return tips.isEmpty() ? nullptr : tips.last();
    };
    // Its texts wrap to the page's width once the window has its size.
    ASSERT_TRUE(QTest::qWaitFor([&] { return lastTip() && !inSight(lastTip()); }))
        << "a page longer than the window";
    EXPECT_GT(bar->property("contentItem").value<QQuickItem*>()->opacity(), 0)
        << "the bar shows that it goes on";
    EXPECT_FALSE(isShown(*guide, "pageFocus"));

    press(Qt::Key_Tab);
    EXPECT_TRUE(isShown(*guide, "pageFocus"));
    struct Step {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        int direction;
        bool screenful;
    };
    // From the top, each key with room to move; near an end it stops there.
    for (const Step& step :
         {Step{Qt::Key_Down, {}, 1, false}, Step{Qt::Key_Up, {}, -1, false},
          Step{Qt::Key_PageDown, {}, 1, true}, Step{Qt::Key_PageUp, {}, -1, true},
          Step{Qt::Key_Space, {}, 1, true}, Step{Qt::Key_Space, Qt::ShiftModifier, -1, true}}) {
        SCOPED_TRACE(QKeySequence(step.key | step.modifiers).toString().toStdString());
        const qreal before = top();
        const qreal end = view->property("contentHeight").toReal() - view->height();
        const qreal room = step.direction > 0 ? end - before : before;
        press(step.key, step.modifiers);
        const qreal moved = (top() - before) * step.direction;
        EXPECT_GT(moved, 0);
        EXPECT_LE(moved, room);
        if (step.screenful) {
            EXPECT_GE(moved, std::min(room, page->height() / 2));
        } else {
            EXPECT_LE(moved, page->height() / 8);
        }
    }
    press(Qt::Key_End);
    EXPECT_TRUE(inSight(lastTip()));
    press(Qt::Key_Home);
    EXPECT_EQ(top(), 0);

    // A click on the page, off its texts, gives it the keys too.
    press(Qt::Key_Tab);
    EXPECT_FALSE(isShown(*guide, "pageFocus"));
    const QQuickItem* card = shownItems(page, "item").first();
    QTest::mouseClick(guide.get(), Qt::LeftButton, {}, card->mapToScene({4, 4}).toPoint());
    EXPECT_TRUE(isShown(*guide, "pageFocus"));
    press(Qt::Key_End);
    EXPECT_TRUE(inSight(lastTip()));
    EXPECT_FALSE(inSight(title()));

    // Another section opens at its top, not where the last one was left.
    press(Qt::Key_Tab);
    press(Qt::Key_Down);
    EXPECT_EQ(textOf(title()), "Layouts per Game");
    EXPECT_EQ(top(), 0);
    EXPECT_TRUE(inSight(title()));

    // From a text clicked on, as from anywhere, Escape closes the window.
    press(Qt::Key_Home);
    test::click(*guide, title());
    press(Qt::Key_Escape);
    EXPECT_FALSE(guide->isVisible());
}

}  // namespace
}  // namespace qm
