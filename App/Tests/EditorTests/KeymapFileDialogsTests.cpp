#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <vector>

#include <gtest/gtest.h>

#include "Editor/KeymapFileDialogs.h"
#include "WorkerResults.h"

namespace qm {
namespace {

using Answer = std::optional<std::filesystem::path>;
using SaveTarget = KeymapFileChooser::SaveTarget;

// A save's answer as a path: only the replace question agrees to replace.
auto savedTo(std::vector<Answer>& answers) {
    return [&answers](std::optional<SaveTarget> target) {
        EXPECT_FALSE(target && target->replace);
        answers.push_back(target ? std::optional(target->file) : std::nullopt);
    };
}

TEST(KeymapFileDialogs, AnswersEachRequestOnce) {
    QTemporaryDir folder;
    const QString keys = folder.filePath("ké ys.json");
    ASSERT_TRUE(QFile(keys).open(QIODevice::WriteOnly));
    KeymapFileDialogs dialogs;
    std::vector<Answer> answers;
    const auto record = [&](Answer file) { answers.push_back(file); };

    dialogs.setName("/tmp/none.json");
    dialogs.accept();  // nothing asked yet
    dialogs.chooseFileToSave("com.game.json", savedTo(answers));
    EXPECT_EQ(dialogs.request(), KeymapFileDialogs::Request::save);
    EXPECT_EQ(dialogs.name(), "com.game.json");
    dialogs.chooseFileToOpen(record);  // the save dialog gave way
    EXPECT_EQ(dialogs.name(), "");
    dialogs.setName("/tmp/earlier.json");
    dialogs.accept();
    dialogs.reject();  // before the disk was looked at: the look is dropped
    dialogs.chooseFileToOpen(record);
    test::settleWorkers();
    dialogs.setName(keys);
    dialogs.accept();
    test::settleWorkers();
    dialogs.reject();
    EXPECT_EQ(dialogs.request(), KeymapFileDialogs::Request::none);
    EXPECT_EQ(answers, (std::vector<Answer>{std::nullopt, std::nullopt, keys.toStdString()}));
}

// Each dialog, in any stream window, opens where the last file was chosen while that folder is
// there; a dialog cancelled elsewhere changes nothing.
TEST(KeymapFileDialogs, OpensWhereTheLastFileWasChosen) {
    QTemporaryDir home;
    const QString chosen = home.filePath("keys");
    ASSERT_TRUE(QDir().mkpath(chosen));
    KeymapFileDialogs dialogs;
    KeymapFileDialogs otherWindows;
    std::vector<Answer> answers;
    dialogs.chooseFileToSave("com.game.json", savedTo(answers));
    dialogs.setName(chosen + "/mine");
    dialogs.accept();
    test::settleWorkers();
    ASSERT_EQ(answers.size(), 1u);
    otherWindows.chooseFileToOpen([](Answer) {});
    EXPECT_EQ(otherWindows.folderPath(), chosen);
    // A folder that lists nothing says why.
    otherWindows.openFolder(QUrl::fromLocalFile(chosen + "/gone"));
    test::settleWorkers();
    EXPECT_EQ(otherWindows.folderProblem(), "This folder does not exist.");
    otherWindows.openFolder(QUrl::fromLocalFile(home.path()));
    test::settleWorkers();
    EXPECT_EQ(otherWindows.folderProblem(), "");
    otherWindows.reject();
    dialogs.chooseFileToOpen([](Answer) {});
    EXPECT_EQ(dialogs.folderPath(), chosen);
    dialogs.reject();
    ASSERT_TRUE(QDir(chosen).removeRecursively());
    dialogs.chooseFileToOpen([](Answer) {});
    EXPECT_NE(dialogs.folderPath(), chosen);
}

// What a typed name means, in the folder shown: a name there, a relative or a whole path; a
// folder opens. A save names the file with its extension, asks before it replaces anything, a
// link included, and refuses a name that hides or reorders what it shows.
TEST(KeymapFileDialogs, ANameGoesToTheFileTheUserMeant) {
    QTemporaryDir home;
    const QString shown = home.filePath("Documents");
    ASSERT_TRUE(QDir().mkpath(shown + "/sub"));
    for (const char* name : {"mine.json", "plain"}) {
        QFile file(QDir(shown).filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    ASSERT_TRUE(QFile::link("nowhere", QDir(shown).filePath("dangling.json")));
    const auto in = [&](const QString& name) { return QDir(shown).filePath(name).toStdString(); };
    using Request = KeymapFileDialogs::Request;
    const struct {
        Request request;
        QString typed;
        Answer answer;
        QString folder;  // when it opens another
        QString question;
        QString refusal;
    } cases[] = {
        {Request::save, "new", in("new.json"), "", "", ""},
        {Request::save, "v2.keys", in("v2.keys"), "", "", ""},
        {Request::save, " sub/../new ", in("new.json"), "", "", ""},
        {Request::save, "/nowhere/else where/ké ys", "/nowhere/else where/ké ys.json", "", "", ""},
        {Request::save, "mine", std::nullopt, "",
         "“mine.json” already exists in " + shown + ". Replacing it overwrites what it holds.", ""},
        {Request::save, "dangling", std::nullopt, "",
         "“dangling.json” already exists in " + shown + ". Replacing it overwrites what it holds.",
         ""},
        {Request::save, "sub", std::nullopt, shown + "/sub", "", ""},
        {Request::save, "two\nlines", std::nullopt, "", "",
         "A file name cannot hold a line break."},
        {Request::save, "bell\a", std::nullopt, "", "",
         "A file name cannot hold a control character (U+0007)."},
        {Request::save, "c1\u009B", std::nullopt, "", "",
         "A file name cannot hold a control character (U+009B)."},
        {Request::save, "del\x7F", std::nullopt, "", "",
         "A file name cannot hold a control character (U+007F)."},
        {Request::save, "evil\u202Enosj.exe", std::nullopt, "", "",
         "A file name cannot hold a mark that changes the order of its text (U+202E)."},
        {Request::save, "zw\u200Bsp", std::nullopt, "", "",
         "A file name cannot hold an invisible character (U+200B)."},
        {Request::save, "bom\uFEFF", std::nullopt, "", "",
         "A file name cannot hold an invisible character (U+FEFF)."},
        {Request::save, "tag\U000E0041", std::nullopt, "", "",
         "A file name cannot hold an invisible character (U+E0041)."},
        {Request::save, "filler\u3164", std::nullopt, "", "",
         "A file name cannot hold an invisible character (U+3164)."},
        {Request::save, "braille\u2800", std::nullopt, "", "",
         "A file name cannot hold an invisible character (U+2800)."},
        {Request::save, "\U0001F468\u200D\U0001F469 keys",
         in("\U0001F468\u200D\U0001F469 keys.json"), "", "", ""},
        {Request::open, "plain", in("plain"), "", "", ""},
        {Request::open, "gone.json", std::nullopt, "", "",
         "“gone.json” does not exist in " + shown + "."},
        {Request::open, "..", std::nullopt, home.path(), "", ""},
        {Request::open, "  ", std::nullopt, "", "", ""},
    };
    KeymapFileDialogs dialogs;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        Answer answer = "unanswered";
        const auto record = [&](Answer file) { answer = file; };
        std::vector<Answer> saved;
        if (c.request == Request::save) {
            dialogs.chooseFileToSave("com.game.json", savedTo(saved));
        } else {
            dialogs.chooseFileToOpen(record);
        }
        dialogs.openFolder(QUrl::fromLocalFile(shown));
        dialogs.setName(c.typed);
        dialogs.accept();
        test::settleWorkers();
        EXPECT_EQ(dialogs.replaceQuestion(), c.question);
        EXPECT_EQ(dialogs.refusal(), c.refusal);
        EXPECT_EQ(dialogs.folderPath(), c.folder.isEmpty() ? shown : c.folder);
        if (!saved.empty()) {
            answer = saved.back();
        }
        if (c.answer) {
            EXPECT_EQ(answer, c.answer);
        } else {
            EXPECT_EQ(answer, "unanswered");
            dialogs.reject();
        }
    }

    // A file that came after the dialog looked is asked about again; only Replace agrees.
    std::optional<SaveTarget> target;
    dialogs.askToReplace(in("mine.json"), [&](std::optional<SaveTarget> t) { target = t; });
    EXPECT_EQ(dialogs.folderPath(), shown);
    EXPECT_EQ(dialogs.name(), "mine.json");
    EXPECT_TRUE(dialogs.replaceQuestion().startsWith("“mine.json” already exists in "));
    dialogs.replace();
    EXPECT_EQ(target, (SaveTarget{in("mine.json"), true}));
}

// A name from the disk lists as one run, whatever its script, with what it hides shown.
TEST(KeymapFileDialogs, TheListShowsEachNameAsOneRun) {
    EXPECT_EQ(KeymapFileDialogs::entryText("mine.json", false), "mine.json");
    EXPECT_EQ(KeymapFileDialogs::entryText("\u05E9\u05DC\u05D5\u05DD folder", true),
              "\u2068\u05E9\u05DC\u05D5\u05DD folder\u2069/");
    EXPECT_EQ(KeymapFileDialogs::entryText("evil\u202Enosj.json", false), "evil\\u202Enosj.json");
}

}  // namespace
}  // namespace qm
