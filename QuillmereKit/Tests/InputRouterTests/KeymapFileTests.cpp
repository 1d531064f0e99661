#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "InputRouter/KeymapFile.h"
#include "InputRouter/ProfileCodec.h"
#include "InputRouter/ProfileTemplates.h"
#include "QuillmereCore/AtomicFile.h"
#include "Support/Expect.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

GameKeymaps keymapsOf(std::size_t layoutCount) {
    GameKeymaps keymaps{"com.example.game", {}};
    for (std::size_t k = 0; k < layoutCount; ++k) {
        keymaps.layouts.push_back({UUID::random(), "Layout " + std::to_string(k), std::nullopt,
                                   ProfileTemplates::shooter("com.example.game")});
    }
    return keymaps;
}

void writeFile(const fs::path& path, std::string_view contents) {
    std::ofstream(path, std::ios::binary).write(contents.data(), std::streamsize(contents.size()));
}

class KeymapFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::size_t entries() const {
        return std::size_t(std::distance(fs::directory_iterator(folder_), {}));
    }

    // The file's bytes in one read, or nothing for anything but a regular file.
    std::optional<Bytes> contents() const {
        return fs::is_regular_file(file_) ? AtomicFile::read(file_, 2 * KeymapFile::maxSize)
                                          : std::nullopt;
    }

    const fs::path folder_ = fs::temp_directory_path() /
                             ("qm-keymaps-" + std::to_string(::getpid()) + "-" +
                              ::testing::UnitTest::GetInstance()->current_test_info()->name());
    const fs::path file_ = folder_ / "com.example.game.json";
};

TEST_F(KeymapFileTest, WrittenKeymapsReadBackAndAMissingFileReadsAsNothing) {
    EXPECT_EQ(KeymapFile::read(file_, "Main"), std::nullopt);
    EXPECT_EQ(KeymapFile::read(folder_ / "absent" / "x.json", "Main"), std::nullopt);

    const GameKeymaps first = keymapsOf(1);
    KeymapFile::write(file_, first);
    EXPECT_EQ(KeymapFile::read(file_, "Main"), first);
    struct stat info {};
    ASSERT_EQ(::stat(file_.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0644u);

    const GameKeymaps second = keymapsOf(3);
    KeymapFile::write(file_, second);
    EXPECT_EQ(KeymapFile::read(file_, "Main"), second);
    EXPECT_EQ(entries(), 1u);  // no temporary left beside it
}

// Nine layouts of the most actions, each as long as it can be written, fit in half the file
// limit; one action more is refused by the codec, naming the member.
TEST_F(KeymapFileTest, TheLargestKeymapsFitTheFileLimitWithRoomToSpare) {
    const Trigger trigger = Trigger::gamepad(GamepadButtons::dpadRight);  // the longest name
    const std::string name(KeymapLayout::maxNameLength, 'x');
    GameKeymaps largest{"com.example.game", {}};
    for (std::size_t k = 0; k < GameKeymaps::maxLayouts; ++k) {
        KeymapProfile profile("com.example.game", Orientation::landscape, {});
        for (std::size_t i = 0; i < KeymapProfile::maxActions; ++i) {
            profile.actions.push_back(
                {UUID::random(), KeymapAction::Stick{trigger,
                                                     trigger,
                                                     trigger,
                                                     trigger,
                                                     StickSide::right,
                                                     {0.12345678901234567, 0.98765432109876543},
                                                     0.12345678901234567}});
        }
        largest.layouts.push_back(
            {UUID::random(), name, Trigger::key(std::uint16_t(k)), std::move(profile)});
    }
    KeymapFile::write(file_, largest);
    EXPECT_LT(fs::file_size(file_), KeymapFile::maxSize / 2);
    EXPECT_EQ(KeymapFile::read(file_, "Main"), largest);

    largest.layouts[3].profile.actions.push_back(largest.layouts[3].profile.actions[0]);
    largest.layouts[3].profile.actions.back().id = UUID::random();
    const auto error = test::thrown<KeymapFileError>([&] { KeymapFile::write(file_, largest); });
    EXPECT_EQ(error.profileError(),
              ProfileError::invalidValue("layouts[3].actions has 257 entries, at most 256"));
}

TEST_F(KeymapFileTest, FormatOneIsMigratedWhenReadAndTheFileStaysAsItWas) {
    const Bytes single = ProfileCodec::encode(ProfileTemplates::moba("com.example.game"));
    writeFile(file_, asText(single));
    const auto keymaps = KeymapFile::read(file_, "Main");
    ASSERT_TRUE(keymaps);
    EXPECT_EQ(keymaps->layouts.at(0).name, "Main");
    EXPECT_EQ(contents(), single);

    KeymapFile::write(file_, *keymaps);
    EXPECT_EQ(KeymapFile::read(file_, "Other"), keymaps);
}

TEST_F(KeymapFileTest, AFileThatDoesNotReadIsReportedAndNeverReplaced) {
    const std::string path = file_.string();
    const std::string newer = R"({"version": 3, "layouts": "whatever comes next"})";
    struct Case {
        std::function<void()> make;
        KeymapFileErrorKind kind;
        std::string messageStart;
        std::optional<ProfileErrorKind> profileError;
    };
    const Case cases[] = {
        {[&] { writeFile(file_, R"({"version": 3, "layouts": "whatever comes next"})"); },
         KeymapFileErrorKind::invalidProfile, path + ": keymap format version 3 is not supported",
         ProfileErrorKind::unsupportedVersion},
        {[&] { writeFile(file_, R"({"version": 2, "packageName": "p", "layouts": [)"); },
         KeymapFileErrorKind::invalidProfile, path + ": parse error", ProfileErrorKind::malformed},
        {[&] {
             writeFile(file_, "{}");
             fs::resize_file(file_, KeymapFile::maxSize + 1);
         },
         KeymapFileErrorKind::invalidProfile, path + ": the file is larger than 4 MiB",
         ProfileErrorKind::malformed},
        // Refused at once, never waiting for a writer that does not come.
        {[&] { ASSERT_EQ(::mkfifo(file_.c_str(), 0600), 0); }, KeymapFileErrorKind::readFailed,
         "cannot read " + path + ": Invalid argument", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.messageStart);
        fs::remove(file_);
        c.make();
        const auto before = contents();

        const auto readError =
            test::thrown<KeymapFileError>([&] { KeymapFile::read(file_, "Main"); });
        EXPECT_EQ(readError.kind(), c.kind);
        EXPECT_EQ(readError.path(), file_);
        EXPECT_THAT(readError.message(), ::testing::StartsWith(c.messageStart));
        const auto& profileError = readError.profileError();
        EXPECT_EQ(profileError ? std::optional(profileError->kind()) : std::nullopt,
                  c.profileError);

        const auto writeError =
            test::thrown<KeymapFileError>([&] { KeymapFile::write(file_, keymapsOf(1)); });
        EXPECT_EQ(writeError.kind(), KeymapFileErrorKind::refusedToReplace);
        EXPECT_EQ(writeError.message(),
                  "will not replace a file that does not read: " + readError.message());
        EXPECT_EQ(writeError.profileError(), readError.profileError());
        EXPECT_EQ(contents(), before);
        EXPECT_EQ(entries(), 1u);
    }
}

TEST_F(KeymapFileTest, InvalidKeymapsAreNotWritten) {
    const GameKeymaps old = keymapsOf(1);
    KeymapFile::write(file_, old);
    const auto error =
        test::thrown<KeymapFileError>([&] { KeymapFile::write(file_, keymapsOf(10)); });
    EXPECT_EQ(error.kind(), KeymapFileErrorKind::invalidProfile);
    EXPECT_EQ(error.profileError(),
              ProfileError::invalidValue("layouts has 10 entries, at most 9"));
    EXPECT_EQ(KeymapFile::read(file_, "Main"), old);
}

// Files may grow only to `bytes` while it lives, so that a write fails part-way for real.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        const rlimit limited{bytes, saved_.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &limited);
        savedSignal_ = std::signal(SIGXFSZ, SIG_IGN);  // the write fails with EFBIG instead
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, savedSignal_);
    }

private:
    rlimit saved_{};
    void (*savedSignal_)(int) = nullptr;
};

TEST_F(KeymapFileTest, AFailedWriteKeepsTheOldFileWholeAndLeavesNoTemporary) {
    KeymapFile::write(file_, keymapsOf(1));
    const auto old = contents();
    std::optional<KeymapFileError> error;
    {
        const FileSizeLimit limit(old->size() + 100);
        try {
            KeymapFile::write(file_, keymapsOf(9));
        } catch (const KeymapFileError& e) {
            error = e;
        }
    }
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), KeymapFileErrorKind::writeFailed);
    EXPECT_EQ(error->message(), "cannot write " + file_.string() + ": File too large");
    EXPECT_EQ(contents(), old);
    EXPECT_EQ(entries(), 1u);
}

}  // namespace
}  // namespace qm
