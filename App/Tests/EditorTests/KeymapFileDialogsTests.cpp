#include <vector>

#include <gtest/gtest.h>

#include "Editor/KeymapFileDialogs.h"

namespace qm {
namespace {

TEST(KeymapFileDialogs, AnswersEachRequestOnce) {
    KeymapFileDialogs dialogs;
    std::vector<std::optional<std::filesystem::path>> answers;
    const auto record = [&](std::optional<std::filesystem::path> file) { answers.push_back(file); };

    dialogs.accept(QUrl::fromLocalFile("/tmp/none.json"));  // nothing asked yet
    dialogs.chooseFileToSave("com.game.json", record);
    EXPECT_EQ(dialogs.request(), KeymapFileDialogs::Request::save);
    EXPECT_EQ(dialogs.proposedName(), "com.game.json");
    dialogs.chooseFileToOpen(record);  // the save dialog gave way
    dialogs.accept(QUrl::fromLocalFile("/tmp/ké ys.json"));
    dialogs.chooseFileToOpen(record);
    dialogs.accept(QUrl("https://example.com/keys.json"));
    dialogs.chooseFileToOpen(record);
    dialogs.reject();
    dialogs.reject();
    EXPECT_EQ(dialogs.request(), KeymapFileDialogs::Request::none);
    EXPECT_EQ(answers, (std::vector<std::optional<std::filesystem::path>>{
                           std::nullopt, "/tmp/ké ys.json", std::nullopt, std::nullopt}));
}

// Qt's own dialog joins what was typed to the folder it shows, as a bare path.
TEST(KeymapFileDialogs, ASaveAnswersTheFileTheUserMeant) {
    const QUrl shown = QUrl::fromLocalFile("/home/u/Documents");
    const std::pair<QUrl, std::optional<std::filesystem::path>> cases[] = {
        {QUrl::fromLocalFile("/home/u/Documents/com.game.json"), "/home/u/Documents/com.game.json"},
        {QUrl("/home/u/Documents/mine.json"), "/home/u/Documents/mine.json"},
        {QUrl("/home/u/Documents/mine"), "/home/u/Documents/mine.json"},
        {QUrl("/home/u/Documents/sub/../v2.keys"), "/home/u/Documents/v2.keys"},
        {QUrl("/home/u/Documents//tmp/else where/ké ys"), "/tmp/else where/ké ys.json"},
        {QUrl("https://example.com/keys.json"), std::nullopt},
    };
    KeymapFileDialogs dialogs;
    for (const auto& [selected, expected] : cases) {
        std::optional<std::filesystem::path> answer = "unanswered";
        dialogs.chooseFileToSave("com.game.json", [&](auto file) { answer = file; });
        dialogs.accept(selected, shown);
        EXPECT_EQ(answer, expected) << selected.toString().toStdString();
    }
}

}  // namespace
}  // namespace qm
