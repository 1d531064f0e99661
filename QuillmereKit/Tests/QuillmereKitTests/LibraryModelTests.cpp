#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "QuillmereKit/Gaming/LibraryModel.h"

namespace qm {
namespace {

AppInfo app(std::string package, std::string label, std::int64_t lastUsed = 0, bool isGame = true,
            Bytes icon = {}) {
    return {std::move(package), std::move(label), isGame, lastUsed, std::move(icon)};
}

std::vector<std::string> packagesOf(const std::vector<const AppInfo*>& apps) {
    std::vector<std::string> packages;
    for (const AppInfo* a : apps) {
        packages.push_back(a->packageName);
    }
    return packages;
}

using Packages = std::vector<std::string>;

TEST(LibraryModelTest, SortsByLastUseThenLabelAsPeopleReadItThenPackage) {
    const std::vector<AppInfo> apps = {
        app("never", "A", 0),        app("negative", "A", -1),
        app("recent", "Z", 2000),    app("level10", "Level 10", 1000),
        app("z.same", "same", 1000), app("level2", "Level 2", 1000),
        app("a.same", "Same", 1000), app("tie", "Same", 1000),
        app("tie", "same", 1000),
    };
    LibraryModel model(apps);
    model.setShowAllApps(true);
    const std::vector<const AppInfo*> sorted = model.visibleApps();
    EXPECT_EQ(packagesOf(sorted), (Packages{"recent", "level2", "level10", "a.same", "tie", "tie",
                                            "z.same", "never", "negative"}));
    // Equal in every key: the earlier stays first.
    EXPECT_EQ(sorted[4]->label, "Same");
}

TEST(LibraryModelTest, ShowsGamesWhoseLabelOrPackageHoldsTheQueryIgnoringCaseAndAccents) {
    LibraryModel model({app("com.nintendo.zelda", "The Legend of Zelda", 1),
                        app("com.poke", "Pok\u00E9mon GO", 3), app("org.tools", "Files", 2, false),
                        app("com.x.racer", "Speed", 0)});
    struct Case {
        std::string searchText;
        bool showAll;
        Packages expected;
    };
    const std::vector<Case> cases = {
        {"", false, {"com.poke", "com.nintendo.zelda", "com.x.racer"}},
        {" \t\n", false, {"com.poke", "com.nintendo.zelda", "com.x.racer"}},
        {"LEGEND", false, {"com.nintendo.zelda"}},
        {"POK\u00C9", false, {"com.poke"}},
        {"racer", false, {"com.x.racer"}},
        {"files", false, {}},
        {"files", true, {"org.tools"}},
        {"", true, {"com.poke", "org.tools", "com.nintendo.zelda", "com.x.racer"}},
        {"zz", true, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("\"" + c.searchText + "\"");
        model.setSearchText(c.searchText);
        model.setShowAllApps(c.showAll);
        EXPECT_EQ(packagesOf(model.visibleApps()), c.expected);
    }
}

TEST(LibraryModelTest, AFreshListTakesTheFirstKnownIconOnlyWhereItHasNone) {
    const Bytes first{1}, second{2}, own{3}, old{4};
    LibraryModel model({app("a", "A", 0, true, first), app("a", "A", 0, true, second),
                        app("b", "B", 0, true, old), app("c", "C")});
    model.setSearchText("x");
    model.setShowAllApps(true);

    model.applyFresh(
        {app("c", "C2"), app("b", "B2", 5, false, own), app("a", "A2"), app("new", "New")});
    const std::vector<AppInfo> expected = {app("c", "C2"), app("b", "B2", 5, false, own),
                                           app("a", "A2", 0, true, first), app("new", "New")};
    EXPECT_EQ(model.apps(), expected);
    EXPECT_TRUE(model.isFresh());
    EXPECT_EQ(model.searchText(), "x");
    EXPECT_TRUE(model.showAllApps());

    model.applyFresh({});
    EXPECT_TRUE(model.apps().empty());
    model.setSearchText("");
    EXPECT_TRUE(model.visibleApps().empty());
}

}  // namespace
}  // namespace qm
