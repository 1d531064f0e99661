#include <QPointer>
#include <QQmlEngine>
#include <QTemporaryDir>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FakeAppModel.h"
#include "Library/LibraryScreen.h"
#include "MarkupProbe.h"
#include "QuillmereKit/Gaming/LibraryLoadError.h"
#include "Support/ManualExecutor.h"
#include "ViewTesting.h"

namespace qm {
namespace {

using test::click;
using test::findItem;
using test::isShown;
using test::textOf;

AppInfo game(std::string package, std::string label) {
    return {std::move(package), std::move(label), true, 0, {}};
}

DeviceInfo phone(std::string serial) {
    return {std::move(serial), "Maker", "Model", "14", 34};
}

// The library view over a fake app model whose view models ask a phone that answers only when
// the test says so.
class LibraryViewTest : public ::testing::Test {
protected:
    struct Request {
        std::string serial;
        bool includeAll;
        GuiTask<std::vector<AppInfo>> task;
    };

    LibraryViewTest() {
        shell_.makeLibrary = [this](const DeviceInfo& device) {
            return std::make_unique<LibraryViewModel>(
                device.serial, cache_,
                [this, serial = device.serial](bool includeAll) {
                    requests_.push_back(
                        {serial, includeAll, GuiTask<std::vector<AppInfo>>(&phone_)});
                    return requests_.back().task;
                },
                saveQueue_);
        };
    }

    ~LibraryViewTest() override {
        window_.reset();
        for (const Request& request : requests_) {
            request.task.cancel();
        }
        // Ends the dropped view models' refreshes, which then delete them; each waits for its
        // cached list.
        saveQueue_.drain();
        for (int hop = 0; hop < 3; ++hop) {
            QCoreApplication::sendPostedEvents();
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    QQuickWindow& show() {
        window_ = test::showWindow(engine_, R"(
            import QtQuick
            import QtQuick.Controls
            import Vantorel
            Window {
                required property AppModelBase shell
                width: 900; height: 700
                LibraryView { anchors.fill: parent; model: shell }
                Popup {
                    objectName: "dialog"
                    modal: true
                    onOpened: button.forceActiveFocus()
                    Button { id: button; objectName: "dialogButton" }
                }
            })",
                                   {{"shell", QVariant::fromValue<QObject*>(&shell_)}});
        return *window_;
    }

    LibraryScreen& screen() { return *window_->findChild<LibraryScreen*>(); }

    // The cached lists are read first: the phone's list waits for them.
    void answer(std::size_t request, TaskOutcome<std::vector<AppInfo>> outcome) {
        saveQueue_.drain();
        requests_.at(request).task.settle(std::move(outcome));
        for (int hop = 0; hop < 3; ++hop) {
            QCoreApplication::sendPostedEvents();
        }
    }

    // Waits for the grid to lay out exactly these tiles.
    bool showsTiles(const std::vector<std::string>& packages) {
        return QTest::qWaitFor([&] {
            auto* tiles = findItem(*window_, "tiles");
            if (!tiles || !tiles->isVisible() ||
                tiles->property("count").toInt() != int(packages.size())) {
                return false;
            }
            for (const std::string& package : packages) {
                if (!isShown(*window_, QString::fromStdString("tile:" + package))) {
                    return false;
                }
            }
            return true;
        });
    }

    QTemporaryDir folder_;
    const GameLibraryCache cache_{std::filesystem::path(folder_.path().toStdString())};
    test::ManualExecutor saveQueue_;
    QObject phone_;
    std::vector<Request> requests_;
    test::FakeAppModel shell_;
    QQmlEngine engine_;
    test::ShownWindow window_;
};

TEST_F(LibraryViewTest, ShowsTheCachedListAtOnceThenThePhonesAndOpensATile) {
    QQuickWindow& window = show();
    EXPECT_TRUE(isShown(window, "noPhone"));
    EXPECT_EQ(textOf(findItem(findItem(window, "noPhone"), "title")), "No phone connected");
    EXPECT_EQ(findItem(window, "tiles"), nullptr);

    // A dialog open as the phone comes keeps the keys.
    QObject* dialog = window.findChild<QObject*>("dialog");
    QMetaObject::invokeMethod(dialog, "open");
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return findItem(window, "dialogButton")->hasActiveFocus(); }));
    cache_.save({game("com.a", "Alpha")}, "S1");
    shell_.setConnectedDevice(phone("S1"));
    saveQueue_.drain();
    ASSERT_TRUE(showsTiles({"com.a"}));
    EXPECT_TRUE(findItem(window, "dialogButton")->hasActiveFocus());
    QMetaObject::invokeMethod(dialog, "close");
    EXPECT_FALSE(isShown(window, "noPhone"));
    EXPECT_TRUE(isShown(window, "loading"));
    EXPECT_FALSE(isShown(window, "refresh"));
    ASSERT_EQ(requests_.size(), 1u);
    EXPECT_FALSE(requests_[0].includeAll);

    answer(0, std::vector<AppInfo>{game("com.a", "Alpha"), game("com.b", "Beta")});
    ASSERT_TRUE(showsTiles({"com.a", "com.b"}));
    EXPECT_FALSE(isShown(window, "loading"));
    EXPECT_FALSE(isShown(window, "banner"));

    click(window, findItem(window, "tile:com.b"));
    EXPECT_EQ(shell_.openedGames, std::vector<QString>{"com.b"});

    click(window, findItem(window, "refresh"));
    ASSERT_EQ(requests_.size(), 2u);
    answer(1, std::make_exception_ptr(LibraryLoadError::phoneDidNotRespond()));
    EXPECT_TRUE(isShown(window, "banner"));
    EXPECT_EQ(textOf(findItem(window, "bannerText")),
              "Couldn’t load the game list: The phone didn’t respond. Reconnect the cable and try "
              "again.");
    EXPECT_TRUE(showsTiles({"com.a", "com.b"}));
    EXPECT_TRUE(isShown(window, "refresh"));

    // Shown again, as after a stream, the library keeps its icons' URLs: the tiles draw them
    // at once from the image cache instead of blank until each is decoded anew.
    saveQueue_.drain();
    const int revision = screen().iconRevision();
    window_.reset();
    show();
    saveQueue_.drain();
    ASSERT_TRUE(showsTiles({"com.a", "com.b"}));
    EXPECT_EQ(screen().iconRevision(), revision);
}

TEST_F(LibraryViewTest, TheKeyboardWalksTheTilesWithAVisibleRingAndOpensTheOneChosen) {
    QQuickWindow& window = show();
    shell_.setConnectedDevice(phone("S1"));
    std::vector<AppInfo> games;
    std::vector<std::string> packages;
    for (const char letter : std::string("abcdefgh")) {
        packages.push_back(std::string("com.") + letter);
        games.push_back(game(packages.back(), std::string(1, letter)));
    }
    answer(0, games);
    ASSERT_TRUE(showsTiles(packages));
    QQuickItem* tiles = findItem(window, "tiles");
    const int columns = tiles->property("columns").toInt();
    ASSERT_GE(columns, 2);
    ASSERT_LT(columns, 8) << "a second row to walk down to";

    // The tile that shows the ring, "" for none; never two.
    const auto ringed = [&]() -> std::string {
        const auto rings = test::shownItems(window.contentItem(), "tileFocus");
        EXPECT_LE(rings.size(), 1);
        return rings.isEmpty() ? "" : rings.first()->parentItem()->objectName().toStdString();
    };
    const auto tileImage = [&] {
        const QQuickItem* first = findItem(window, "tile:com.a");
        const QRectF place = first->mapRectToScene(first->boundingRect().adjusted(-4, -4, 4, 4));
        return window.grabWindow().copy(place.toAlignedRect());
    };
    const QImage unfocused = tileImage();
    // The search has the keys from the start; on the way to the grid the check box shows its
    // focus as the tiles do.
    EXPECT_TRUE(findItem(window, "search")->hasActiveFocus());
    QQuickItem* showAll = findItem(window, "showAllApps");
    bool boxRinged = false;
    int stops = 0;
    while (!tiles->hasActiveFocus() && stops++ < 12) {
        EXPECT_EQ(ringed(), "");
        if (showAll->hasActiveFocus()) {
            boxRinged = isShown(window, "checkFocus");
        } else {
            EXPECT_FALSE(isShown(window, "checkFocus"));
        }
        QTest::keyClick(&window, Qt::Key_Tab);
    }
    EXPECT_TRUE(boxRinged);
    ASSERT_TRUE(tiles->hasActiveFocus()) << "Tab reaches the grid";
    EXPECT_EQ(ringed(), "tile:com.a");
    EXPECT_NE(tileImage(), unfocused) << "the ring is drawn";

    struct Step {
        Qt::Key key;
        std::string ringed;
    };
    const std::string below = "tile:" + packages.at(std::size_t(columns) + 1);
    for (const Step& step : {Step{Qt::Key_Right, "tile:com.b"}, Step{Qt::Key_Down, below},
                             Step{Qt::Key_Left, "tile:" + packages.at(std::size_t(columns))},
                             Step{Qt::Key_Up, "tile:com.a"}, Step{Qt::Key_Right, "tile:com.b"}}) {
        QTest::keyClick(&window, step.key);
        EXPECT_EQ(ringed(), step.ringed);
    }
    QTest::keyClick(&window, Qt::Key_Return);
    QTest::keyClick(&window, Qt::Key_Right);
    QTest::keyClick(&window, Qt::Key_Enter, Qt::KeypadModifier);
    QTest::keyClick(&window, Qt::Key_Right);
    QTest::keyClick(&window, Qt::Key_Space);
    EXPECT_EQ(shell_.openedGames, (std::vector<QString>{"com.b", "com.c", "com.d"}));

    QTest::keyClick(&window, Qt::Key_Tab);
    EXPECT_FALSE(tiles->hasActiveFocus());
    EXPECT_EQ(ringed(), "");

    // Return in the search opens the one game it leaves, none of several.
    test::click(window, findItem(window, "search"));
    for (const char key : std::string("com.")) {
        QTest::keyClick(&window, key);
    }
    QTest::keyClick(&window, Qt::Key_Return);
    QTest::keyClick(&window, 'h');
    ASSERT_TRUE(showsTiles({"com.h"}));
    QTest::keyClick(&window, Qt::Key_Return);
    EXPECT_EQ(shell_.openedGames, (std::vector<QString>{"com.b", "com.c", "com.d", "com.h"}));
}

TEST_F(LibraryViewTest, AppTextsAreShownAsWrittenNeverAsMarkup) {
    test::MarkupProbe probe;
    const std::string package = probe.image("package").toStdString();
    QQuickWindow& window = show();
    shell_.setConnectedDevice(phone("S1"));
    answer(0, std::vector<AppInfo>{game(package, probe.image("label").toStdString())});
    ASSERT_TRUE(showsTiles({package}));

    QObject* tip = findItem(window, QString::fromStdString("tile:" + package))
                       ->findChild<QObject*>("packageName");
    ASSERT_TRUE(tip);
    tip->setProperty("delay", 0);
    tip->setProperty("visible", true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return tip->property("opened").toBool(); }));
    ASSERT_TRUE(test::waitForFrame(window));
    QQuickItem* tipText = tip->property("contentItem").value<QQuickItem*>();
    EXPECT_EQ(textOf(tipText), QString::fromStdString(package));
    EXPECT_TRUE(test::drawnAsWritten(tipText));
    EXPECT_EQ(probe.fetchedBefore(engine_), std::vector<std::string>());
}

TEST_F(LibraryViewTest, AnEmptyListShowsItsPlaceholderOnlyOnceLoaded) {
    QQuickWindow& window = show();
    shell_.setConnectedDevice(phone("S1"));
    ASSERT_TRUE(showsTiles({}));
    EXPECT_FALSE(isShown(window, "emptyList"));  // the phone has not answered yet

    const auto placeholder = [&] {
        QQuickItem* empty = findItem(window, "emptyList");
        QQuickItem* description = findItem(empty, "description");
        return std::pair(textOf(findItem(empty, "title")),
                         description->isVisible() ? textOf(description) : QString());
    };
    const auto noGames = std::pair(QString("No games found"),
                                   QString("Turn on “Show all apps” to see every installed app."));
    answer(0, std::vector<AppInfo>{});
    ASSERT_TRUE(isShown(window, "emptyList"));
    EXPECT_EQ(placeholder(), noGames);

    click(window, findItem(window, "showAllApps"));
    ASSERT_EQ(requests_.size(), 2u);
    EXPECT_TRUE(requests_[1].includeAll);
    EXPECT_FALSE(isShown(window, "emptyList"));
    answer(1, std::vector<AppInfo>{});
    ASSERT_TRUE(isShown(window, "emptyList"));
    EXPECT_EQ(placeholder(), noGames);  // the hint stays with every app shown

    screen().library()->setSearchText("  ");
    EXPECT_EQ(placeholder(), std::pair(QString("Nothing matches your search"), QString()));
}

TEST_F(LibraryViewTest, ANewSerialGetsANewViewModelAndTheOldOneSavesUnderItsOwn) {
    QQuickWindow& window = show();
    shell_.setConnectedDevice(phone("S1"));
    QPointer<LibraryViewModel> first = screen().library();
    ASSERT_TRUE(first);

    shell_.setConnectedDevice(phone("S2"));
    ASSERT_EQ(requests_.size(), 2u);
    EXPECT_EQ(requests_[1].serial, "S2");
    EXPECT_NE(screen().library(), first);
    answer(0, std::vector<AppInfo>{game("com.late", "Late")});
    saveQueue_.drain();
    EXPECT_EQ(cache_.load("S1"), std::vector<AppInfo>{game("com.late", "Late")});
    EXPECT_TRUE(cache_.load("S2").empty());
    EXPECT_TRUE(showsTiles({}));
    EXPECT_TRUE(QTest::qWaitFor([&] { return first.isNull(); }));

    // A phone that goes keeps its list; the same one back is loaded anew.
    LibraryViewModel* second = screen().library();
    shell_.setConnectedDevice(std::nullopt);
    EXPECT_EQ(screen().library(), second);
    shell_.setConnectedDevice(phone("S2"));
    EXPECT_NE(screen().library(), second);
    EXPECT_EQ(requests_.size(), 3u);

    EXPECT_FALSE(isShown(window, "iphoneStrip"));
    shell_.setIPhones({{"video0", "Anna's iPhone"}});
    EXPECT_TRUE(QTest::qWaitFor([&] { return isShown(window, "iphoneStrip"); }));
    EXPECT_TRUE(isShown(window, "iphoneRow:video0"));
}

}  // namespace
}  // namespace qm
