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
    dialogs.setName("/tmp/ké ys.json");
    dialogs.accept();
    test::settleWorkers();
    dialogs.reject();
    EXPECT_EQ(dialogs.request(), KeymapFileDialogs::Request::none);
    EXPECT_EQ(answers, (std::vector<Answer>{std::nullopt, std::nullopt, "/tmp/ké ys.json"}));
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
        {Request::open, "plain", in("plain"), "", "", ""},
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

}  // namespace
}  // namespace qm
