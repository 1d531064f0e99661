#include <QTemporaryDir>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "QuillmereCore/AtomicFile.h"
#include "QuillmereKit/Gaming/GameLibraryCache.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

Bytes png(std::string_view payload) {
    return toBytes("\x89PNG\r\n\x1A\n" + std::string(payload));
}

AppInfo app(std::string package, bool isGame, std::int64_t lastUsed, Bytes icon = {}) {
    return {package, "Label of " + package, isGame, lastUsed, std::move(icon)};
}

void writeFile(const fs::path& path, std::string_view contents) {
    std::ofstream(path, std::ios::binary).write(contents.data(), std::streamsize(contents.size()));
}

std::string readFile(const fs::path& path) {
    const auto bytes = AtomicFile::read(path, GameLibraryCache::maxIndexSize);
    return bytes ? std::string(asText(*bytes)) : std::string();
}

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class GameLibraryCacheTest : public ::testing::Test {
protected:
    std::string entry(std::string_view extra) const {
        return R"({"packageName": "com.a", "label": "A", "lastUsedMillis": 1)" +
               std::string(extra) + "}";
    }

    QTemporaryDir temporary_;
    const fs::path root_ = fs::path(temporary_.path().toStdString()) / "GameLibrary";
    const GameLibraryCache cache_{root_};
    const fs::path phone_ = root_ / "SERIAL1";
    const fs::path icons_ = phone_ / "icons";
};

TEST_F(GameLibraryCacheTest, GivesBackWhatWasSavedInOrder) {
    const std::vector<AppInfo> apps = {app("com.b", true, 2000, png("b")), app("com.a", false, -5),
                                       app("com.c", true, 0, png("c"))};
    cache_.save(apps, "SERIAL1");
    EXPECT_EQ(cache_.load("SERIAL1"), apps);
    EXPECT_EQ(namesIn(icons_), (std::vector<std::string>{"com.b.png", "com.c.png"}));
    // Which apps the phone holds is for the user alone.
    for (const fs::path& folder : {root_, phone_, icons_}) {
        EXPECT_EQ(fs::status(folder).permissions(), fs::perms::owner_all) << folder;
    }
    for (const fs::path& file : {phone_ / "index.json", icons_ / "com.b.png"}) {
        EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read | fs::perms::owner_write)
            << file;
    }

    EXPECT_TRUE(cache_.load("OTHER").empty());
    EXPECT_FALSE(fs::exists(root_ / "OTHER"));
}

TEST_F(GameLibraryCacheTest, WritesSortedKeysAndNamesAnIconOnlyWhenThereIsOne) {
    cache_.save({app("com.a", true, 5, png("a")), app("com.b", false, 7)}, "SERIAL1");
    EXPECT_EQ(readFile(phone_ / "index.json"), R"({
  "apps": [
    {
      "iconFile": "com.a.png",
      "isGame": true,
      "label": "Label of com.a",
      "lastUsedMillis": 5,
      "packageName": "com.a"
    },
    {
      "isGame": false,
      "label": "Label of com.b",
      "lastUsedMillis": 7,
      "packageName": "com.b"
    }
  ],
  "version": 1
})");
    EXPECT_EQ(readFile(icons_ / "com.a.png"), "\x89PNG\r\n\x1A\na");
}

TEST_F(GameLibraryCacheTest, SanitizesIntoOneBoundedPathComponentThatNoOtherTextShares) {
    struct Case {
        std::string text, expected;
    };
    const std::string longName = "com." + std::string(250, 'x');
    const std::vector<Case> cases = {
        {"", "_-e3b0c44298fc1c149afbf4c8996fb924"},
        {".", "_.-cdb4ee2aea69cc6a83331bbe96dc2caa"},
        {"..", "_..-5ec1f7e700f37c3d0b2981d04855fc34"},
        {"...", "..."},
        {"a/b c", "a_b_c-0af99a609169538538d589bf108a2131"},
        {"\u00FCn\u00EF", "_n_-e975a52994d88fc7c7bf16c547779c6d"},  // composed
        // Decomposed: a letter and its mark are one.
        {"u\u0308ni\u0308", "_n_-a3b2c879a5e15072b80b682f1a642f15"},
        // A flag is one character.
        {"\U0001F1EB\U0001F1F7-x", "_-x-7226f885f3b8915423e6621d1ccfc065"},
        {"a\r\nb", "a_b-18745f36a05e29072709042d6062ce54"},
        {"com.Game_2-x", "com.Game_2-x"},
        {std::string(200, 'a'), std::string(200, 'a')},
        {std::string(201, 'a'), std::string(167, 'a') + "-a92efd82109373e58f9a2056dee01e80"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(GameLibraryCache::sanitize(c.text), c.expected) << c.text;
        EXPECT_EQ(GameLibraryCache::sanitize(c.expected), c.expected);
    }
    EXPECT_EQ(GameLibraryCache::sanitize(std::string(197, 'a'), 4).size(), 196u);

    // Names too long for a file name, alike in all that is kept, each keep their own icon; so do
    // two made to share a 32-bit hash.
    const std::string chosen = "com.victim.game." + std::string(218, 'x');
    const std::vector<AppInfo> apps = {
        app(longName, true, 1, png("long")), app(longName + "a", true, 2, png("longer")),
        app("com.a_b", true, 3, png("short")), app(chosen + "dwsufot84qfcyf", true, 4, png("1")),
        app(chosen + "i9903ynihk1x7t", true, 5, png("2"))};
    cache_.save(apps, "SERIAL1");
    EXPECT_EQ(cache_.load("SERIAL1"), apps);
    EXPECT_EQ(namesIn(icons_).size(), 5u);
}

TEST_F(GameLibraryCacheTest, NamesFromThePhoneOrTheIndexNeverLeaveTheirFolder) {
    cache_.save({app("../../escape", true, 1, png("x"))}, "../up/");
    const std::string phone = ".._up_-44debe2c49d374309d461b46a353c5d4";
    EXPECT_EQ(namesIn(root_), std::vector<std::string>{phone});
    EXPECT_EQ(namesIn(root_ / phone / "icons"),
              std::vector<std::string>{".._.._escape-efbf103bcec54b370d5fdbcd97c85394.png"});
    EXPECT_EQ(namesIn(temporary_.path().toStdString()), std::vector<std::string>{"GameLibrary"});

    // A folder named with the earlier, shorter hash is still read.
    const std::vector<AppInfo> apps = {app("com.a", true, 1, png("a"))};
    cache_.save(apps, "../up/");
    fs::rename(root_ / phone, root_ / ".._up_-c30347f5");
    EXPECT_EQ(cache_.load("../up/"), apps);

    // A hand-made index naming a file outside "icons" reads a name inside it.
    fs::create_directories(icons_);
    writeFile(phone_ / "outside.png", asText(png("outside")));
    writeFile(phone_ / "index.json",
              R"({"version": 1, "apps": [)" +
                  entry(R"(, "isGame": true, "iconFile": "../outside.png")") + "]}");
    const std::vector<AppInfo> loaded = cache_.load("SERIAL1");
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_TRUE(loaded[0].iconPNG.empty());
}

TEST_F(GameLibraryCacheTest, ASaveNeverFollowsALinkBelowTheRoot) {
    const fs::path outside = fs::path(temporary_.path().toStdString()) / "outside";
    for (const fs::path& link : {phone_, icons_}) {
        SCOPED_TRACE(link.filename().string());
        fs::remove_all(root_);
        fs::remove_all(outside);
        fs::create_directories(outside / "icons");
        writeFile(outside / "keep", "keep me");
        writeFile(outside / "icons" / "keep", "keep me");
        fs::create_directories(link.parent_path());
        fs::create_directory_symlink(link == phone_ ? outside : outside / "icons", link);

        EXPECT_THROW(cache_.save({app("com.a", true, 1, png("a"))}, "SERIAL1"),
                     fs::filesystem_error);
        EXPECT_EQ(namesIn(outside), (std::vector<std::string>{"icons", "keep"}));
        EXPECT_EQ(namesIn(outside / "icons"), std::vector<std::string>{"keep"});
    }
}

TEST_F(GameLibraryCacheTest, ASaveRemovesEverythingElseInTheIconsFolderButNotWhatLinksPointTo) {
    cache_.save({app("com.a", true, 1, png("a")), app("com.b", true, 1, png("b"))}, "SERIAL1");
    const fs::path outside = fs::path(temporary_.path().toStdString()) / "outside.png";
    writeFile(outside, "keep me");
    writeFile(icons_ / ".hidden", "x");
    fs::create_directories(icons_ / "folder" / "inner");
    fs::create_symlink(outside, icons_ / "link.png");

    cache_.save({app("com.a", true, 1), app("com.b", true, 1, png("b2"))}, "SERIAL1");
    EXPECT_EQ(namesIn(icons_), std::vector<std::string>{"com.b.png"});
    EXPECT_EQ(readFile(outside), "keep me");
    EXPECT_EQ(readFile(phone_ / "index.json").find("com.a.png"), std::string::npos);

    cache_.save({}, "SERIAL1");
    EXPECT_TRUE(namesIn(icons_).empty());
    EXPECT_NE(readFile(phone_ / "index.json").find(R"("apps": [])"), std::string::npos);
}

TEST_F(GameLibraryCacheTest, ADamagedIndexLoadsAsNothingAndADamagedIconAsNoIcon) {
    struct Case {
        const char* name;
        std::string index;
        std::size_t apps;
    };
    const std::string deep = std::string(65, '[') + std::string(65, ']');
    const std::string huge =
        R"({"version": 1, "apps": []})" + std::string(GameLibraryCache::maxIndexSize, ' ');
    const auto indexOf = [](const std::string& apps) {
        return R"({"version": 2, "unknown": 0, "apps": [)" + apps + "]}";
    };
    const std::vector<Case> cases = {
        {"version 2 and unknown keys", indexOf(entry(R"(, "isGame": true, "x": 1)")), 1},
        {"null icon", indexOf(entry(R"(, "isGame": true, "iconFile": null)")), 1},
        {"one entry lacks isGame", indexOf(entry(R"(, "isGame": true)") + "," + entry("")), 0},
        {"float millis", indexOf(R"({"packageName": "p", "label": "l", "isGame": true,
                                     "lastUsedMillis": 1.0})"),
         0},
        {"millis beyond int64", indexOf(R"({"packageName": "p", "label": "l", "isGame": true,
                                            "lastUsedMillis": 9223372036854775808})"),
         0},
        {"icon name a number", indexOf(entry(R"(, "isGame": true, "iconFile": 3)")), 0},
        {"no version", R"({"apps": []})", 0},
        {"apps an object", R"({"version": 1, "apps": {}})", 0},
        {"float version", R"({"version": 1.5, "apps": []})", 0},
        {"not JSON", "{\"version\": 1, \"apps\": [", 0},
        {"a NUL and more after it", indexOf(entry(R"(, "isGame": true)")) + std::string("\0{}", 3),
         0},
        {"nested too deep", R"({"version": 1, "apps": [], "x": )" + deep + "}", 0},
        {"over 16 MiB", huge, 0},
        // Entries a phone's list would not hold are dropped, the others kept.
        {"package names no phone gives",
         indexOf(R"({"packageName": "../../../.bashrc", "label": "l", "isGame": true,
                    "lastUsedMillis": 1},
                   {"packageName": "com.a\u001b[2J", "label": "l", "isGame": true,
                    "lastUsedMillis": 1},
                   {"packageName": ")" +
                 std::string(100'000, 'a') + R"(", "label": "l",
                    "isGame": true, "lastUsedMillis": 1},)" +
                 entry(R"(, "isGame": true)")),
         1},
    };
    fs::create_directories(icons_);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(phone_ / "index.json", c.index);
        EXPECT_EQ(cache_.load("SERIAL1").size(), c.apps);
    }

    const auto iconOf = [&](std::string_view iconFile) {
        writeFile(phone_ / "index.json", indexOf(entry(R"(, "isGame": true, "iconFile": ")" +
                                                       std::string(iconFile) + "\"")));
        const std::vector<AppInfo> loaded = cache_.load("SERIAL1");
        return loaded.size() == 1 ? loaded[0].iconPNG : Bytes{1};
    };
    writeFile(icons_ / "good.png", asText(png("good")));
    writeFile(icons_ / "text.png", "not a PNG");
    writeFile(icons_ / "big.png", asText(png(std::string(GameLibraryCache::maxIconSize, 'x'))));
    fs::create_directories(icons_ / "folder.png");
    EXPECT_EQ(iconOf("good.png"), png("good"));
    EXPECT_EQ(iconOf("missing.png"), Bytes{});
    EXPECT_EQ(iconOf("text.png"), Bytes{});
    EXPECT_EQ(iconOf("big.png"), Bytes{});
    EXPECT_EQ(iconOf("folder.png"), Bytes{});

    // Not even a link to a good one, nor to an index, is followed.
    fs::create_symlink("good.png", icons_ / "link.png");
    EXPECT_EQ(iconOf("link.png"), Bytes{});
    fs::rename(phone_ / "index.json", phone_ / "real.json");
    fs::create_symlink("real.json", phone_ / "index.json");
    EXPECT_TRUE(cache_.load("SERIAL1").empty());
}

TEST_F(GameLibraryCacheTest, ADamagedIndexCannotMakeALoadTakeMoreThanItsBounds) {
    // An index naming one large icon for every entry gives that icon to as many as the bytes
    // of one load allow; past the entry cap nothing is read.
    const std::size_t iconSize = 1024 * 1024;
    const std::size_t withIcons = GameLibraryCache::maxIconBytesPerLoad / iconSize;
    fs::create_directories(icons_);
    writeFile(icons_ / "big.png", asText(png(std::string(iconSize - 8, 'x'))));
    std::string apps = entry(R"(, "isGame": true, "iconFile": "big.png")");
    for (std::size_t i = 1; i < withIcons + 10; ++i) {
        apps.append(",").append(entry(R"(, "isGame": true, "iconFile": "big.png")"));
    }
    for (std::size_t i = withIcons + 10; i <= GameLibraryCache::maxEntries; ++i) {
        apps.append(",").append(entry(R"(, "isGame": false)"));
    }
    writeFile(phone_ / "index.json", R"({"version": 1, "apps": [)" + apps + "]}");

    const std::vector<AppInfo> loaded = cache_.load("SERIAL1");
    ASSERT_EQ(loaded.size(), GameLibraryCache::maxEntries);
    EXPECT_EQ(std::count_if(loaded.begin(), loaded.end(),
                            [&](const AppInfo& app) { return app.iconPNG.size() == iconSize; }),
              withIcons);
}

TEST_F(GameLibraryCacheTest, AFailedIconWriteKeepsTheOldIndexAndPrunesNothing) {
    cache_.save({app("com.old", true, 1, png("old"))}, "SERIAL1");
    const std::string index = readFile(phone_ / "index.json");
    // A folder where the icon file belongs cannot be replaced, not even by root.
    fs::create_directories(icons_ / "com.new.png" / "inner");

    EXPECT_THROW(cache_.save({app("com.new", true, 1, png("new"))}, "SERIAL1"),
                 fs::filesystem_error);
    EXPECT_EQ(readFile(phone_ / "index.json"), index);
    EXPECT_EQ(namesIn(icons_), (std::vector<std::string>{"com.new.png", "com.old.png"}));
    EXPECT_EQ(cache_.load("SERIAL1"), (std::vector<AppInfo>{app("com.old", true, 1, png("old"))}));
}

}  // namespace
}  // namespace qm
