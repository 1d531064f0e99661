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

TEST(KeymapFileDialogs, AnswersEachRequestOnce) {
    KeymapFileDialogs dialogs;
    std::vector<Answer> answers;
    const auto record = [&](Answer file) { answers.push_back(file); };

    dialogs.setName("/tmp/none.json");
    dialogs.accept();  // nothing asked yet
    dialogs.chooseFileToSave("com.game.json", record);
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
// folder opens. A save names the file with its extension, and asks before it replaces one.
TEST(KeymapFileDialogs, ANameGoesToTheFileTheUserMeant) {
    QTemporaryDir home;
    const QString shown = home.filePath("Documents");
    ASSERT_TRUE(QDir().mkpath(shown + "/sub"));
    for (const char* name : {"mine.json", "plain"}) {
        QFile file(QDir(shown).filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    const auto in = [&](const QString& name) { return QDir(shown).filePath(name).toStdString(); };
    using Request = KeymapFileDialogs::Request;
    const struct {
        Request request;
        QString typed;
        Answer answer;
        QString folder;  // when it opens another
        QString question;
    } cases[] = {
        {Request::save, "new", in("new.json"), "", ""},
        {Request::save, "v2.keys", in("v2.keys"), "", ""},
        {Request::save, " sub/../new ", in("new.json"), "", ""},
        {Request::save, "/nowhere/else where/ké ys", "/nowhere/else where/ké ys.json", "", ""},
        {Request::save, "mine", std::nullopt, "",
         "“mine.json” already exists in " + shown + ". Replacing it overwrites what it holds."},
        {Request::save, "sub", std::nullopt, shown + "/sub", ""},
        {Request::open, "plain", in("plain"), "", ""},
        {Request::open, "..", std::nullopt, home.path(), ""},
        {Request::open, "  ", std::nullopt, "", ""},
    };
    KeymapFileDialogs dialogs;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        Answer answer = "unanswered";
        const auto record = [&](Answer file) { answer = file; };
        if (c.request == Request::save) {
            dialogs.chooseFileToSave("com.game.json", record);
        } else {
            dialogs.chooseFileToOpen(record);
        }
        dialogs.openFolder(QUrl::fromLocalFile(shown));
        dialogs.setName(c.typed);
        dialogs.accept();
        test::settleWorkers();
        EXPECT_EQ(dialogs.replaceQuestion(), c.question);
        EXPECT_EQ(dialogs.folderPath(), c.folder.isEmpty() ? shown : c.folder);
        if (c.answer) {
            EXPECT_EQ(answer, c.answer);
        } else {
            EXPECT_EQ(answer, "unanswered");
            dialogs.reject();
        }
    }
}

}  // namespace
}  // namespace qm
