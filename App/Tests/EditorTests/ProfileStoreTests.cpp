#include <QTemporaryDir>
#include <csignal>
#include <fstream>
#include <sstream>
#include <vector>

#include <sys/resource.h>

#include <gtest/gtest.h>

#include "Editor/ProfileStore.h"
#include "InputRouter/KeymapFile.h"
#include "InputRouter/ProfileCodec.h"
#include "InputRouter/ProfileTemplates.h"
#include "QuillmereCore/AtomicFile.h"
#include "QuillmereCore/NameHash.h"
#include "ServerProtocol/ExtMessage.h"

namespace qm {
namespace {

class ProfileStoreTest : public ::testing::Test {
protected:
    std::filesystem::path path(const std::string& name) const { return store.directory / name; }
    void put(const std::string& name, std::string_view content) const {
        std::filesystem::create_directories(store.directory);
        AtomicFile::write(path(name), asBytes(content), 0644);
    }
    std::string contents(const std::string& name) const {
        std::ostringstream text;
        text << std::ifstream(path(name)).rdbuf();
        return text.str();
    }
    static GameKeymaps keymaps(const std::string& package) {
        return GameKeymaps::migrating(ProfileTemplates::moba(package), "Main");
    }

    QTemporaryDir folder;
    ProfileStore store{std::filesystem::path(folder.path().toStdString()) / "Vantorel" /
                       "Profiles"};
};

TEST_F(ProfileStoreTest, PackageNamesAreCheckedBeforeAnyDiskAccess) {
    for (const std::string& name :
         std::vector<std::string>{"com.example.game", "game", "a1._b.9_", std::string(255, 'a')}) {
        EXPECT_TRUE(AppInfo::isValidPackageName(name)) << name;
    }
    for (const std::string& name :
         std::vector<std::string>{"..", "a..b", ".a", "a.", "a/b", "a b", "a-b", "caf\u00E9", "",
                                  std::string(256, 'a'), std::string("a\0b", 3)}) {
        EXPECT_FALSE(AppInfo::isValidPackageName(name)) << name;
        const auto refuses = [&](auto operation) {
            try {
                operation();
                ADD_FAILURE() << name;
            } catch (const ProfileStoreError& error) {
                EXPECT_EQ(error.name(), name);
            }
        };
        refuses([&] { store.fileURL(name); });
        refuses([&] { store.loadKeymaps(name, "Main"); });
        refuses([&] { store.save(keymaps(name)); });
        refuses([&] { store.remove(name); });
    }
    EXPECT_FALSE(std::filesystem::exists(store.directory));
}

TEST_F(ProfileStoreTest, EveryValidPackageNameSavesAndShorterOnesKeepTheirFileName) {
    const std::string kept = "com." + std::string(239, 'k');  // the longest name kept as it is
    const std::string chosen = "com.victim.game." + std::string(218, 'x');
    const std::vector<std::string> names = {kept, kept + "x", kept + std::string(12, 'x'),
                                            kept + std::string(11, 'x') + "y",
                                            // Two made to share a 32-bit hash.
                                            chosen + "dwsufot84qfcyf", chosen + "i9903ynihk1x7t"};
    for (const std::string& name : names) {
        store.save(keymaps(name));
        EXPECT_TRUE(store.loadKeymaps(name, "Main")) << name.size();
    }
    EXPECT_TRUE(std::filesystem::exists(path(kept + ".json")));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(store.directory), {}), 6);
    // The first save made the data folder, where the host key goes too: it is the user's alone.
    EXPECT_EQ(std::filesystem::status(store.directory.parent_path()).permissions(),
              std::filesystem::perms::owner_all);

    // Saved under the earlier, shorter hash: read, and removed, all the same.
    const std::string older = "com." + std::string(250, 'o');
    KeymapFile::write(path(older.substr(0, 234) + "-1416ff08.json"), keymaps(older));
    EXPECT_TRUE(store.loadKeymaps(older, "Main"));
    store.remove(older);
    EXPECT_FALSE(store.loadKeymaps(older, "Main"));

    // Under the earlier hash the pair share a name: the file there is only its own game's, and
    // moves to the game's name now when read.
    const std::string mine = names[4];
    const std::string other = names[5];
    store.remove(mine);
    store.remove(other);
    const auto earlier = path(mine.substr(0, 234) + legacyNameHashSuffix(mine) + ".json");
    ASSERT_EQ(earlier, path(other.substr(0, 234) + legacyNameHashSuffix(other) + ".json"));
    const GameKeymaps saved = keymaps(mine);
    KeymapFile::write(earlier, saved);
    EXPECT_FALSE(store.loadKeymaps(other, "Main"));
    store.remove(other);
    EXPECT_TRUE(std::filesystem::exists(earlier));
    EXPECT_TRUE(store.loadKeymaps(mine, "Main"));
    EXPECT_EQ(KeymapFile::read(store.fileURL(mine), "Main"), saved);
    store.remove(mine);
    EXPECT_FALSE(std::filesystem::exists(earlier));
}

TEST_F(ProfileStoreTest, LoadsWithoutChangingTheFileAndBindsToTheGameAsked) {
    EXPECT_EQ(store.loadKeymaps("com.a", "Main"), std::nullopt);
    store.remove("com.a");

    const Bytes formatOne = ProfileCodec::encode(ProfileTemplates::shooter("com.a"));
    put("com.a.json", std::string(formatOne.begin(), formatOne.end()));
    const auto migrated = store.loadKeymaps("com.a", "Haupt");
    ASSERT_TRUE(migrated);
    ASSERT_EQ(migrated->layouts.size(), 1u);
    EXPECT_EQ(migrated->layouts[0].name, "Haupt");
    EXPECT_EQ(contents("com.a.json"), std::string(formatOne.begin(), formatOne.end()));

    // Copied from another game: saving it back must not overwrite that game's file.
    const Bytes other = ProfileCodec::encode(keymaps("com.b"));
    put("com.a.json", std::string(other.begin(), other.end()));
    const auto copied = store.loadKeymaps("com.a", "Main");
    ASSERT_TRUE(copied);
    EXPECT_EQ(copied->packageName, "com.a");
    EXPECT_EQ(copied->layouts[0].profile.packageName, "com.a");
    store.save(*copied);
    EXPECT_FALSE(std::filesystem::exists(path("com.b.json")));
}

TEST_F(ProfileStoreTest, InvalidKeymapsLeaveTheOldFile) {
    store.save(keymaps("com.a"));
    const std::string saved = contents("com.a.json");
    GameKeymaps broken = keymaps("com.a");
    broken.layouts.push_back(broken.layouts[0]);  // the same ids twice
    EXPECT_THROW(store.save(broken), ProfileError);
    EXPECT_EQ(contents("com.a.json"), saved);
}

// A file that does not decode is kept aside, so the game can be saved again; the backup is put
// back when the write fails.
TEST_F(ProfileStoreTest, SavingOverAFileThatDoesNotDecodeKeepsItAsBackup) {
    const Bytes readable = ProfileCodec::encode(keymaps("com.a"));
    put("com.a.json", std::string(readable.begin(), readable.end()));
    store.save(keymaps("com.a"));
    EXPECT_FALSE(std::filesystem::exists(path("com.a.json.bak")));

    for (const std::string& broken : std::vector<std::string>{"{\"version\": 9}", "not json"}) {
        put("com.a.json.bak", "older backup");
        put("com.a.json", broken);
        store.save(keymaps("com.a"));
        EXPECT_EQ(contents("com.a.json.bak"), broken);
        EXPECT_TRUE(store.loadKeymaps("com.a", "Main"));
    }

    put("com.a.json", "not json");
    rlimit limit{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &limit), 0);
    const rlimit tiny{16, limit.rlim_max};
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &tiny);
    EXPECT_ANY_THROW(store.save(keymaps("com.a")));
    setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(contents("com.a.json"), "not json");

    std::filesystem::remove(path("com.a.json"));
    std::filesystem::create_directory(path("com.a.json"));  // cannot be read at all
    EXPECT_THROW(store.save(keymaps("com.a")), KeymapFileError);
}

}  // namespace
}  // namespace qm
