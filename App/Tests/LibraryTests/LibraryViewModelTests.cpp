#include <QAbstractItemModelTester>
#include <QCoreApplication>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Library/LibraryViewModel.h"
#include "QuillmereCore/Log.h"
#include "QuillmereKit/Gaming/LibraryLoadError.h"
#include "QuillmereKit/Session/SessionTypes.h"
#include "Support/ManualExecutor.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

AppInfo app(std::string package, std::string label, bool isGame = true, Bytes icon = {}) {
    return {std::move(package), std::move(label), isGame, 0, std::move(icon)};
}

// Runs what the tasks queued, and what that queued in turn.
void runPosted() {
    for (int hop = 0; hop < 4; ++hop) {
        QCoreApplication::sendPostedEvents();
    }
}

std::vector<std::string> packagesShown(VisibleAppsModel& list) {
    std::vector<std::string> packages;
    for (int row = 0; row < list.rowCount(); ++row) {
        packages.push_back(
            list.data(list.index(row), VisibleAppsModel::packageNameRole).toString().toStdString());
    }
    return packages;
}

using Packages = std::vector<std::string>;

// A phone whose every app-list request waits until the test answers it.
class LibraryViewModelTest : public ::testing::Test {
protected:
    struct Request {
        bool includeAll;
        GuiTask<std::vector<AppInfo>> task;
    };

    // The cached list is read on the save queue; `readCache` lets it be read and shown.
    LibraryViewModel& makeModel(bool readCache = true) {
        model_ = std::make_unique<LibraryViewModel>(
            "SERIAL1", cache_,
            [this](bool includeAll) {
                requests_.push_back({includeAll, GuiTask<std::vector<AppInfo>>(&phone_)});
                return requests_.back().task;
            },
            saveQueue_);
        if (readCache) {
            saveQueue_.drain();
            runPosted();
        }
        return *model_;
    }

    void answer(std::size_t request, TaskOutcome<std::vector<AppInfo>> outcome) {
        requests_.at(request).task.settle(std::move(outcome));
        runPosted();
    }

    Packages cachedPackages() const {
        Packages packages;
        for (const AppInfo& cached : cache_.load("SERIAL1")) {
            packages.push_back(cached.packageName);
        }
        return packages;
    }

    QTemporaryDir folder_;
    const fs::path root_ = fs::path(folder_.path().toStdString()) / "GameLibrary";
    const GameLibraryCache cache_{root_};
    QObject phone_;
    std::vector<Request> requests_;
    test::ManualExecutor saveQueue_;
    std::unique_ptr<LibraryViewModel> model_;
};

TEST_F(LibraryViewModelTest, OnlyTheNewestOfOverlappingRefreshesChangesTheScreen) {
    const auto phoneDidNotRespond = std::make_exception_ptr(LibraryLoadError::phoneDidNotRespond());
    for (const bool olderEndsFirst : {true, false}) {
        SCOPED_TRACE(olderEndsFirst ? "older ends first" : "older ends last");
        requests_.clear();
        LibraryViewModel& library = makeModel();
        library.refresh();
        library.refresh();
        ASSERT_EQ(requests_.size(), 2u);

        if (olderEndsFirst) {
            answer(0, phoneDidNotRespond);
            EXPECT_TRUE(library.isLoading());
            EXPECT_FALSE(library.model().isFresh());
        }
        answer(1, std::vector<AppInfo>{app("com.newer", "Newer")});
        EXPECT_FALSE(library.isLoading());
        if (!olderEndsFirst) {
            answer(0, std::vector<AppInfo>{app("com.older", "Older")});
        }
        EXPECT_EQ(packagesShown(*library.visibleApps()), Packages{"com.newer"});
        EXPECT_EQ(library.loadError(), "");
        saveQueue_.drain();
        EXPECT_EQ(cachedPackages(), Packages{"com.newer"});
    }

    // A failure keeps the list on screen and in the cache; the next success clears its text.
    LibraryViewModel& library = *model_;
    library.refresh();
    answer(2, phoneDidNotRespond);
    EXPECT_EQ(library.loadError(), "The phone didn’t respond. Reconnect the cable and try again.");
    EXPECT_EQ(packagesShown(*library.visibleApps()), Packages{"com.newer"});
    EXPECT_EQ(saveQueue_.pending(), 0u);
    // One given up is no failure: the text stays.
    library.refresh();
    answer(3, Cancelled{});
    EXPECT_FALSE(library.isLoading());
    library.refresh();
    EXPECT_EQ(library.loadError(), "The phone didn’t respond. Reconnect the cable and try again.");
    answer(4, std::vector<AppInfo>{});
    EXPECT_EQ(library.loadError(), "");
    EXPECT_TRUE(packagesShown(*library.visibleApps()).empty());
}

TEST_F(LibraryViewModelTest, ShowsTheCacheAtOnceAndSavesFreshAppsWithTheIconsItKnew) {
    cache_.save({app("com.a", "A", true, toBytes("\x89PNG\r\n\x1A\nicon"))}, "SERIAL1");
    const Bytes knownIcon = cache_.load("SERIAL1").at(0).iconPNG;
    ASSERT_FALSE(knownIcon.empty());
    // Off the GUI thread: nothing is read until the queue runs.
    LibraryViewModel& library = makeModel(false);
    EXPECT_TRUE(packagesShown(*library.visibleApps()).empty());
    saveQueue_.drain();
    runPosted();
    EXPECT_EQ(packagesShown(*library.visibleApps()), Packages{"com.a"});

    // Also a phone that answers before the cache is read keeps the icons it knew.
    for (const bool phoneFirst : {false, true}) {
        SCOPED_TRACE(phoneFirst ? "phone first" : "cache first");
        LibraryViewModel& shown = makeModel(!phoneFirst);
        requests_.clear();
        shown.refresh();
        answer(0, std::vector<AppInfo>{app("com.a", "A"), app("com.b", "B")});
        EXPECT_EQ(shown.model().isFresh(), !phoneFirst);
        while (saveQueue_.drain() > 0) {
            runPosted();
        }
        EXPECT_EQ(packagesShown(*shown.visibleApps()), (Packages{"com.a", "com.b"}));
        EXPECT_EQ(
            shown.visibleApps()->data(shown.visibleApps()->index(0), VisibleAppsModel::iconRole),
            QByteArray(reinterpret_cast<const char*>(knownIcon.data()),
                       qsizetype(knownIcon.size())));
        const std::vector<AppInfo> saved = cache_.load("SERIAL1");
        ASSERT_EQ(saved.size(), 2u);
        EXPECT_EQ(saved[0].iconPNG, knownIcon);
        EXPECT_TRUE(saved[1].iconPNG.empty());
    }
}

TEST_F(LibraryViewModelTest, TheListFollowsTheSearchTextAndTheShowAllFlag) {
    cache_.save({app("com.level10", "Level 10"), app("com.level2", "Level 2"),
                 app("com.zelda", "The Legend of Zelda"), app("com.poke", "Pok\u00E9mon"),
                 app("org.notes", "Notes", false)},
                "SERIAL1");
    LibraryViewModel& library = makeModel();
    QAbstractItemModelTester tester(library.visibleApps(),
                                    QAbstractItemModelTester::FailureReportingMode::Fatal);
    QSignalSpy searchChanges(&library, &LibraryViewModel::searchTextChanged);
    EXPECT_EQ(packagesShown(*library.visibleApps()),
              (Packages{"com.level2", "com.level10", "com.poke", "com.zelda"}));

    library.setSearchText("  zelda ");
    EXPECT_EQ(packagesShown(*library.visibleApps()), Packages{"com.zelda"});
    library.setSearchText("  zelda ");
    EXPECT_EQ(searchChanges.count(), 1);
    library.setSearchText("Pokemon");
    EXPECT_EQ(packagesShown(*library.visibleApps()), Packages{"com.poke"});
    library.setSearchText("notes");
    EXPECT_TRUE(packagesShown(*library.visibleApps()).empty());

    library.setShowAllApps(true);
    EXPECT_EQ(packagesShown(*library.visibleApps()), Packages{"org.notes"});
    ASSERT_EQ(requests_.size(), 1u);
    EXPECT_TRUE(requests_[0].includeAll);
    EXPECT_TRUE(library.isLoading());

    model_.reset();  // the screen went away while the phone was asked
    answer(0, std::vector<AppInfo>{});
}

TEST_F(LibraryViewModelTest, AFailedSaveIsLoggedAndNotShown) {
    std::ofstream(root_.string()) << "a file where the cache folder belongs";
    LibraryViewModel& library = makeModel();
    library.refresh();
    answer(0, std::vector<AppInfo>{app("com.a", "A")});
    saveQueue_.drain();
    EXPECT_EQ(library.loadError(), "");
    EXPECT_EQ(packagesShown(*library.visibleApps()), Packages{"com.a"});
    const auto entries = Log::recentEntries();
    EXPECT_TRUE(std::any_of(entries.begin(), entries.end(), [](const LogEntry& entry) {
        return entry.category == "session" && entry.level == spdlog::level::err &&
               entry.message.starts_with("library cache save failed: ");
    }));
}

TEST(LibraryViewModelMessageTest, EachFailureHasItsSentence) {
    const auto text = [](auto error) {
        return LibraryViewModel::friendlyMessage(std::make_exception_ptr(error)).toStdString();
    };
    EXPECT_EQ(text(LibraryLoadError::phoneDidNotRespond()),
              "The phone didn’t respond. Reconnect the cable and try again.");
    EXPECT_EQ(text(SessionFailure::disconnected()), "Waiting for the phone…");
    EXPECT_EQ(text(SessionFailure::versionMismatch()),
              "App and server versions don’t match. Reinstall Vantorel.");
    EXPECT_EQ(text(SessionFailure::serverFailed("details stay hidden")), "Something went wrong.");
    EXPECT_EQ(text(std::runtime_error("anything else")), "Something went wrong.");
    EXPECT_EQ(text(CancellationError()), "Something went wrong.");
}

}  // namespace
}  // namespace qm
