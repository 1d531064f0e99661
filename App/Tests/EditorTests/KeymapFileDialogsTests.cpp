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

}  // namespace
}  // namespace qm
