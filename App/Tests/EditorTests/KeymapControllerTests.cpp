#include <QCoreApplication>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <tuple>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "Editor/KeymapController.h"
#include "InputRouter/KeymapFile.h"
#include "InputRouter/ProfileCodec.h"
#include "InputRouter/ProfileTemplates.h"
#include "QuillmereCore/AtomicFile.h"
#include "WorkerResults.h"

namespace qm {
namespace {

constexpr std::uint16_t esc = 53;
constexpr std::uint16_t keyW = 13;

using SaveTarget = KeymapFileChooser::SaveTarget;

class FakeChooser : public KeymapFileChooser {
public:
    void chooseFileToOpen(Answer answer) override { opens.push_back(std::move(answer)); }
    void chooseFileToSave(const QString& proposedName, SaveAnswer answer) override {
        proposedNames.append(proposedName);
        saves.push_back(std::move(answer));
    }
    void askToReplace(const std::filesystem::path& file, SaveAnswer answer) override {
        askedToReplace.push_back(file);
        saves.push_back(std::move(answer));
    }
    void reject() override {}

    std::vector<Answer> opens;
    std::vector<SaveAnswer> saves;
    QStringList proposedNames;
    std::vector<std::filesystem::path> askedToReplace;
};

class KeymapControllerTest : public ::testing::Test {
protected:
    // `load`: the game's keymaps are read before the test begins.
    std::unique_ptr<KeymapController> make(std::optional<std::string> package = "com.game",
                                           bool withStore = true, bool load = true) {
        auto controller = std::make_unique<KeymapController>(
            std::move(package), withStore ? std::optional(store) : std::nullopt, chooser);
        if (load) {
            controller->loadActiveKeymaps();
            drain();
        }
        controller->setOnApply([this](const GameKeymaps& keymaps, std::size_t index) {
            applied.emplace_back(keymaps, index);
        });
        return controller;
    }
    std::filesystem::path put(const std::string& name, std::string_view content) const {
        std::filesystem::create_directories(store.directory);
        AtomicFile::write(store.directory / name, asBytes(content), 0644);
        return store.directory / name;
    }
    static GameKeymaps layouts(const std::string& package, std::vector<std::string> names) {
        GameKeymaps keymaps{package, {}};
        for (std::string& name : names) {
            keymaps.layouts.push_back(
                {UUID::random(), std::move(name), std::nullopt, ProfileTemplates::moba(package)});
        }
        return keymaps;
    }
    static std::string text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }
    // The game's keymaps with `value` written as the first layout's orientation.
    static std::string withOrientation(const std::string& value) {
        std::string document = text(ProfileCodec::encode(layouts("com.game", {"A"})));
        return document.replace(document.find("\"landscape\""), 11, value);
    }
    static void press(KeymapController& controller, std::uint16_t key) {
        controller.handleWhileEditing(KeyDownEvent{key, {}, false});
    }
    static void drain() { test::settleWorkers(); }
    static std::vector<std::string> names(const KeymapController& controller) {
        std::vector<std::string> all;
        for (const auto& layout : controller.editor()->layouts()) {
            all.push_back(layout.name);
        }
        return all;
    }

    QTemporaryDir folder;
    ProfileStore store{std::filesystem::path(folder.path().toStdString()) / "Profiles"};
    FakeChooser chooser;
    std::vector<std::pair<GameKeymaps, std::size_t>> applied;
};

TEST_F(KeymapControllerTest, EscClosesAtOnceOrOnTheSecondPressWithUnsavedEdits) {
    const auto controller = make();
    controller->beginEditing();
    press(*controller, esc);
    EXPECT_FALSE(controller->isEditing());
    ASSERT_EQ(applied.size(), 1u);

    controller->beginEditing();
    controller->addStick(0.2, 0.7);
    // Quitting asks as Esc does.
    EXPECT_FALSE(controller->mayDiscard(KeymapController::Discarding::quit));
    EXPECT_EQ(controller->notice(),
              "Unsaved changes. Quit again to discard them, or Super+E to save.");
    // Undoing the only change takes the question away.
    controller->undo();
    EXPECT_EQ(controller->notice(), "");
    controller->addStick(0.2, 0.7);
    EXPECT_FALSE(controller->mayDiscard(KeymapController::Discarding::quit));
    // An edit after the question is asked about again.
    controller->addStick(0.4, 0.7);
    EXPECT_FALSE(controller->mayDiscard(KeymapController::Discarding::quit));
    // So is a question taken away.
    controller->dismissNotice();
    EXPECT_FALSE(controller->mayDiscard(KeymapController::Discarding::quit));
    EXPECT_TRUE(controller->mayDiscard(KeymapController::Discarding::quit));
    EXPECT_FALSE(controller->isEditing()) << "the quit that goes on takes the editor";
    controller->beginEditing();
    EXPECT_TRUE(controller->mayDiscard(KeymapController::Discarding::quit)) << "nothing to lose";
    controller->beginEditing();
    controller->addStick(0.2, 0.7);
    EXPECT_TRUE(controller->passesKeyThrough(36));
    EXPECT_TRUE(controller->passesKeyThrough(117)) << "Delete";
    EXPECT_FALSE(controller->passesKeyThrough(keyW));
    EXPECT_FALSE(controller->passesKeyThrough(6)) << "Z";
    EXPECT_TRUE(controller->passesKeyThrough(6, KeyModifiers::control)) << "Ctrl+Z";
    press(*controller, esc);
    EXPECT_EQ(controller->notice(),
              "Unsaved changes. Press Esc again to discard them, or Super+E to save.");
    press(*controller, keyW);
    controller->handleWhileEditing(KeyDownEvent{esc, {}, true});  // a repeat counts for nothing
    press(*controller, esc);
    EXPECT_TRUE(controller->isEditing());
    // A capture takes Esc for itself, and Return as a trigger.
    controller->startCapture(KeymapController::CaptureKind::newTap);
    EXPECT_FALSE(controller->passesKeyThrough(36));
    press(*controller, esc);
    EXPECT_EQ(controller->capture(), KeymapController::Capture{});
    controller->beginRename();
    EXPECT_TRUE(controller->passesKeyThrough(keyW));
    press(*controller, esc);
    controller->cancelRename();
    EXPECT_TRUE(controller->isEditing());
    press(*controller, esc);
    EXPECT_FALSE(controller->isEditing());
    ASSERT_EQ(applied.size(), 4u) << "Esc, the quits and Esc";
    EXPECT_EQ(applied[3].first, applied[0].first);
}

// A typed name that would hide or reorder what it shows is refused with the reason; a name in
// another script stays one run in what the app says of it.
TEST_F(KeymapControllerTest, ARenameSaysWhyANameIsRefused) {
    const auto controller = make();
    controller->beginEditing();
    const QString hebrew = "\u05E9\u05DC\u05D5\u05DD";
    for (const auto& [typed, said] : std::vector<std::pair<QString, QString>>{
             {"zw\u200Bsp",
              "“Main” keeps its name: a layout name cannot hold an invisible character (U+200B)."},
             {"\u202EMain",
              "“Main” keeps its name: a layout name cannot hold a mark that changes "
              "the order of its text (U+202E)."},
             {"two\nlines", "“Main” keeps its name: a layout name cannot hold a line break."},
             {hebrew, ""},
             {" ", "“\u2068" + hebrew + "\u2069” keeps its name: a layout name cannot be empty."},
         }) {
        controller->beginRename();
        controller->setRenameDraft(typed);
        controller->commitRename();
        EXPECT_EQ(controller->notice(), said) << typed.toStdString();
    }
    EXPECT_EQ(names(*controller), std::vector<std::string>{hebrew.toStdString()});
}

TEST_F(KeymapControllerTest, CapturedInputBecomesTriggersAndSwitchKeysMove) {
    const auto controller = make();
    controller->beginEditing();
    controller->startCapture(KeymapController::CaptureKind::newTap);
    controller->handleWhileEditing(MouseButtonEvent{1, false, {}});  // gives nothing: still waits
    controller->handleWhileEditing(MouseButtonEvent{0, true, {}});
    auto* actions = controller->actions();
    const int last = actions->rowCount() - 1;
    const auto role = [&](const char* name) {
        return actions->data(actions->index(last, 0), actions->roleNames().key(name));
    };
    EXPECT_EQ(role("label"), "LMB");
    EXPECT_EQ(role("x"), 0.5);
    EXPECT_EQ(role("selected"), true);

    controller->startCapture(KeymapController::CaptureKind::switchTrigger);
    press(*controller, 18);
    controller->addLayout(true);
    EXPECT_EQ(controller->editedLayoutName(), "Layout 2");
    controller->startCapture(KeymapController::CaptureKind::switchTrigger);
    press(*controller, 18);
    EXPECT_EQ(controller->notice(), "The switch key was taken from “Main”.");
    EXPECT_EQ(controller->switchTriggerLabel(), "1");
    EXPECT_EQ(controller->editor()->layouts()[0].switchTrigger, std::nullopt);

    // A layout holds what a file keeps, and says so.
    while (controller->actions()->rowCount() < int(KeymapProfile::maxActions)) {
        controller->addStick(0.5, 0.5);
    }
    controller->addStick(0.5, 0.5);
    EXPECT_EQ(controller->actions()->rowCount(), int(KeymapProfile::maxActions));
    EXPECT_EQ(controller->notice(),
              "A layout holds at most 256 actions: delete one to add another.");
}

TEST_F(KeymapControllerTest, SavingKeepsTheLayoutInPlayByItsId) {
    put("com.game.json", text(ProfileCodec::encode(layouts("com.game", {"A", "B", "C"}))));
    const auto controller = make();
    controller->setActiveLayoutIndex(1);
    controller->beginEditing();
    controller->editLayout(2);
    controller->makeEditedLayoutMain();
    controller->save();
    // The file is written off the GUI thread; the editor closes once it is.
    EXPECT_TRUE(controller->isEditing());
    drain();
    EXPECT_FALSE(controller->isEditing());
    EXPECT_EQ(controller->layoutNames(), (QStringList{"C", "A", "B"}));
    EXPECT_EQ(controller->activeLayoutIndex(), 2u);
    EXPECT_EQ(controller->layoutToastText(), "Layout in play: B");
    ASSERT_EQ(applied.size(), 1u);
    EXPECT_EQ(applied[0].second, 2u);
    EXPECT_EQ(store.loadKeymaps("com.game", "Main"), controller->activeKeymaps());

    controller->beginEditing();
    controller->deleteEditedLayout();
    controller->save();
    drain();
    EXPECT_EQ(controller->layoutNames(), (QStringList{"C", "A"}));
    EXPECT_EQ(controller->activeLayoutIndex(), 0u);
}

TEST_F(KeymapControllerTest, AFailedSaveKeepsTheEditorAndItsEdits) {
    struct Case {
        std::optional<std::string> package;
        bool withStore;
        QString loadText;
        QString saveText;
    } cases[] = {
        {"a/b", true,
         "The layouts saved for a/b could not be read: the default layout plays until they are "
         "saved again.",
         "The layout could not be saved: the game's name cannot name a file."},
        {"com.game", false, "",
         "The layout could not be saved: the profiles folder is unavailable."},
        {std::nullopt, true, "", ""},  // plays and saves for this window only
    };
    for (const Case& each : cases) {
        applied.clear();
        const auto controller = make(each.package, each.withStore);
        controller->beginEditing();
        EXPECT_EQ(controller->errorMessage(), each.loadText);
        EXPECT_EQ(controller->layoutNames(), QStringList{"Main"});
        controller->addLook();
        controller->addStick(0.2, 0.7);
        controller->save();
        drain();
        EXPECT_EQ(controller->errorMessage(), each.saveText);
        EXPECT_EQ(controller->isEditing(), !each.saveText.isEmpty());
        EXPECT_EQ(applied.empty(), !each.saveText.isEmpty());
        EXPECT_EQ(controller->layoutToastText().endsWith("last until it ends."), !each.package);
        if (controller->isEditing()) {
            EXPECT_TRUE(controller->editor()->isDirty());
        }
    }
    EXPECT_FALSE(std::filesystem::exists(store.directory));
}

TEST_F(KeymapControllerTest, ASaveTheSystemRefusesSaysWhyInWords) {
    // Where the profiles go is taken by a file; then the game's own file is a folder.
    const std::filesystem::path profiles = store.directory;
    AtomicFile::write(profiles, asBytes("x"), 0644);
    const auto controller = make();
    controller->beginEditing();
    controller->addLook();
    controller->save();
    drain();
    EXPECT_EQ(controller->errorMessage(),
              "The layout could not be saved: a file stands where its folder goes.");
    std::filesystem::remove(profiles);
    std::filesystem::create_directories(store.fileURL("com.game"));
    controller->save();
    drain();
    EXPECT_EQ(controller->errorMessage(),
              "The layout could not be saved: the file it goes to cannot be read, so it is kept "
              "as it is.");
    EXPECT_TRUE(controller->isEditing());
}

TEST_F(KeymapControllerTest, AStoredFileThatDoesNotReadPlaysTheTemplateAndSaysWhose) {
    const QString unreadable =
        "The layouts saved for com.game could not be read: the default "
        "layout plays until they are saved again.";
    // The toast names the game; the editor says what the codec found wrong, quoting a value short.
    const struct {
        std::string content;
        QString toast;
        QString editorText;
    } cases[] = {
        {"{\"version\": 2, \"packageName\": 5}", unreadable,
         "This file is not a valid layout: packageName: expected a string, found 5"},
        {"not json", unreadable, "This file is not a valid layout: parse error at line 1"},
        {"{\"version\": 7}",
         "The layouts saved for com.game need a newer Vantorel (format 7): the default layout "
         "plays until they are saved again.",
         "This layout was made by a newer Vantorel (format 7). Update the app to use it."},
        {"", unreadable, "This file is not a valid layout: the file is larger than 4 MiB"},  // 2 GB
        {withOrientation("\"" + std::string(1 << 20, 'a') + "\""), unreadable,
         "This file is not a valid layout: layouts[0].orientation: unknown orientation \"" +
             QString(40, 'a') + "\u2026\""},
    };
    for (const auto& [content, toast, editorText] : cases) {
        const auto file = put("com.game.json", content);
        if (content.empty()) {
            std::filesystem::resize_file(file, std::uintmax_t{2} << 30);
        }
        const auto controller = make();
        controller->setInputMode(InputMode::keymap);
        EXPECT_EQ(controller->layoutToastText(), toast);
        controller->beginEditing();
        EXPECT_TRUE(controller->errorMessage().startsWith(editorText))
            << controller->errorMessage().toStdString();
        EXPECT_EQ(names(*controller), std::vector<std::string>{"Main"});
        EXPECT_EQ(std::filesystem::file_size(file), content.empty() ? 2ull << 30 : content.size());
    }

    // Saved again, they play without a word.
    put("com.game.json", "not json");
    const auto controller = make();
    controller->beginEditing();
    controller->save();
    drain();
    controller->setInputMode(InputMode::keymap);
    EXPECT_EQ(controller->layoutToastText(), "");
}

TEST_F(KeymapControllerTest, TheGamesFileIsReadOffTheGuiThreadThenPlayedOrEdited) {
    put("com.game.json", text(ProfileCodec::encode(layouts("com.game", {"A", "B"}))));
    for (const bool editing : {false, true}) {
        SCOPED_TRACE(editing ? "editing" : "playing");
        applied.clear();
        const auto controller = make("com.game", true, false);
        QSignalSpy changes(controller.get(), &KeymapController::activeKeymapsChanged);
        if (editing) {
            controller->beginEditing();
        }
        controller->loadActiveKeymaps();
        EXPECT_FALSE(controller->activeKeymaps() || controller->isEditing());
        drain();
        EXPECT_EQ(changes.count(), 1);
        EXPECT_EQ(controller->layoutNames(), (QStringList{"A", "B"}));
        EXPECT_EQ(controller->isEditing(), editing);
        EXPECT_EQ(applied.size(), editing ? 0u : 1u);
    }
    // An editor given up while the file was read does not open.
    const auto controller = make("com.game", true, false);
    controller->beginEditing();
    controller->cancelEditing();
    drain();
    EXPECT_FALSE(controller->isEditing());
    EXPECT_EQ(applied.size(), 1u);
}

TEST_F(KeymapControllerTest, ImportAndExportWorkOnTheOpenEditorOnly) {
    const auto controller = make("com.a/b");  // its load failed: the text stays
    controller->importProfile();
    controller->exportProfile();
    EXPECT_TRUE(chooser.opens.empty() && chooser.saves.empty());
    EXPECT_FALSE(controller->errorMessage().isEmpty());
    const auto game = make();
    game->beginEditing();
    const GameKeymaps opened = game->editor()->keymaps();

    const auto formatOne =
        put("one.json", text(ProfileCodec::encode(ProfileTemplates::shooter("com.other"))));
    const auto broken = put("broken.json", "{");
    const auto newer = put("newer.json", "{\"version\": 3}");
    const auto forged =
        put("forged.json", withOrientation(R"("x\nLayouts imported: 3 of 3\u202e")"));
    const auto huge = put("huge.json", "");
    std::filesystem::resize_file(huge, std::uintmax_t{2} << 30);
    const auto fifo = store.directory / "x.json";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const QString notImported = "The layouts could not be imported from ";
    const std::tuple<std::filesystem::path, QString, QString> failures[] = {
        {broken, "This file is not a valid layout: parse error at line 1, column 2", ""},
        {newer, "This layout was made by a newer Vantorel (format 3). Update the app to use it.",
         ""},
        // A value cannot write lines of its own into the banner, nor turn the app's around.
        {forged,
         "This file is not a valid layout: layouts[0].orientation: unknown orientation "
         "\"x\\nLayouts imported: 3 of 3\\u202E\"",
         ""},
        {huge, notImported, "/huge.json: the file is larger than 4 MiB."},
        {store.directory / "missing.json", notImported, "/missing.json: there is no such file."},
        {store.directory, notImported, "/Profiles: that is a folder."},
        {fifo, notImported, "/x.json: that is not an ordinary file."},
    };
    for (const auto& [file, start, end] : failures) {
        game->dismissErrorMessage();
        game->importProfile();
        chooser.opens.back()(file);
        drain();
        const QString said = game->errorMessage();
        EXPECT_TRUE(said.startsWith(start) && said.endsWith(end)) << said.toStdString();
        EXPECT_EQ(game->editor()->keymaps(), opened);
    }
    game->importProfile();
    chooser.opens.back()(formatOne);
    drain();
    EXPECT_EQ(game->errorMessage(), "");
    EXPECT_EQ(names(*game), std::vector<std::string>{"Main"});
    EXPECT_EQ(game->editor()->keymaps().layouts[0].profile.packageName, "com.game");
    EXPECT_TRUE(game->isDirty());
    // Over unsaved edits an import asks first, as Esc does; asked again, it goes on.
    const std::size_t opens = chooser.opens.size();
    game->importProfile();
    EXPECT_EQ(chooser.opens.size(), opens);
    EXPECT_EQ(game->notice(),
              "Unsaved changes. An import replaces every layout: choose Import… again to replace "
              "them, or keep editing.");
    game->importProfile();
    EXPECT_EQ(chooser.opens.size(), opens + 1);

    game->exportProfile();
    EXPECT_EQ(chooser.proposedNames, QStringList{"com.game.json"});
    const auto exported = store.directory / "exported.json";
    chooser.saves.back()(SaveTarget{exported});
    drain();
    const auto written = AtomicFile::read(exported, KeymapFile::maxSize);
    ASSERT_TRUE(written);
    EXPECT_EQ(ProfileCodec::decodeKeymaps(*written, "Main"), game->editor()->keymaps());
}

// A file or a link that came at the name after the dialog looked is asked about, never replaced
// unasked; a failure says why in plain words, and the next export that succeeds clears it.
TEST_F(KeymapControllerTest, AnExportReplacesOnlyWhatTheUserAgreedTo) {
    const auto game = make();
    game->beginEditing();
    const auto came = put("came.json", "theirs");
    const auto link = store.directory / "link.json";
    std::filesystem::create_symlink("nowhere", link);
    for (const auto& file : {came, link}) {
        game->exportProfile();
        chooser.saves.back()(SaveTarget{file});
        drain();
    }
    EXPECT_EQ(chooser.askedToReplace, (std::vector<std::filesystem::path>{came, link}));
    EXPECT_EQ(text(*AtomicFile::read(came, KeymapFile::maxSize)), "theirs");
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    chooser.saves.back()(SaveTarget{link, true});
    drain();
    EXPECT_EQ(KeymapFile::read(link, "Main"), game->editor()->keymaps());

    game->addStick(0.2, 0.7);
    EXPECT_FALSE(game->mayDiscard(KeymapController::Discarding::quit));
    const std::pair<std::filesystem::path, QString> exports[] = {
        {store.directory / "gone" / "x.json", "/gone/x.json: that folder does not exist."},
        {store.directory / (std::string(300, 'n') + ".json"),
         "…" + QString(35, 'n') + ".json: the name is too long."},
        // The temporary file's name does not grow with the file's.
        {store.directory / (std::string(245, 'n') + ".json"), ""},
    };
    for (const auto& [file, ending] : exports) {
        game->exportProfile();
        chooser.saves.back()(SaveTarget{file});
        drain();
        const QString said = game->errorMessage();
        EXPECT_TRUE(ending.isEmpty() ? said.isEmpty()
                                     : said.startsWith("The layouts could not be exported to ") &&
                                           said.endsWith(ending))
            << said.toStdString();
        EXPECT_LT(said.size(), 120) << "one line";
    }
    EXPECT_EQ(game->notice(), "") << "the question went with the finished export";
    EXPECT_FALSE(game->mayDiscard(KeymapController::Discarding::quit)) << "and is asked again";
    const auto denied = [](KeymapController::FileWork work) {
        return KeymapController::describeFileFailure(
            work, std::make_error_code(std::errc::permission_denied), "/home/me/Locked/a.json");
    };
    EXPECT_EQ(denied(KeymapController::FileWork::exporting),
              "The layouts could not be exported to /home/me/Locked/a.json: you may not write "
              "in that folder.");
    EXPECT_EQ(denied(KeymapController::FileWork::importing),
              "The layouts could not be imported from /home/me/Locked/a.json: you may not read "
              "that file.");
}

// A question that something came over is taken back, in the editor and in the toast: the next
// request asks again. What asks nothing stays.
TEST_F(KeymapControllerTest, AQuestionSomethingCameOverIsAskedAgain) {
    using enum KeymapController::Discarding;
    const auto editing = make();
    editing->beginEditing();
    editing->addStick(0.2, 0.7);
    const auto withoutGame = make(std::nullopt);
    withoutGame->beginEditing();
    withoutGame->addStick(0.2, 0.7);
    withoutGame->save();
    withoutGame->cancelEditing();
    const auto said = [](const KeymapController& keymap) {
        return keymap.isEditing() ? keymap.notice() : keymap.layoutToastText();
    };
    const std::tuple<const char*, KeymapController*, std::function<bool()>> questions[] = {
        {"quit", editing.get(), [&] { return !editing->mayDiscard(quit); }},
        {"Esc", editing.get(),
         [&] {
             press(*editing, esc);
             return editing->isEditing();
         }},
        {"closing, in the toast", withoutGame.get(),
         [&] { return !withoutGame->mayDiscard(closeStream); }},
    };
    for (const auto& [name, keymap, asks] : questions) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(asks());
        ASSERT_NE(said(*keymap), "");
        keymap->withdrawQuestion();
        EXPECT_EQ(said(*keymap), "");
        EXPECT_TRUE(asks()) << "asked again";
        keymap->withdrawQuestion();
    }

    editing->beginRename();
    editing->setRenameDraft(" ");
    editing->commitRename();
    const QString refusal = editing->notice();
    ASSERT_NE(refusal, "");
    editing->withdrawQuestion();
    EXPECT_EQ(editing->notice(), refusal);
}

// Without a game, layouts an export keeps in a file are not asked about when the stream ends,
// until they change again; unsaved edits are asked about as ever.
TEST_F(KeymapControllerTest, LayoutsWithoutAGameThatAFileKeepsEndWithTheStreamUnasked) {
    using enum KeymapController::Discarding;
    const auto keymap = make(std::nullopt);
    const auto addAndSave = [&] {
        keymap->beginEditing();
        keymap->addStick(0.2, 0.7);
        keymap->save();
    };
    const auto exportNow = [&] {
        if (!keymap->isEditing()) {
            keymap->beginEditing();
        }
        keymap->exportProfile();
        chooser.saves.back()(SaveTarget{store.directory / "kept.json", true});
        drain();
    };
    std::filesystem::create_directories(store.directory);
    addAndSave();
    exportNow();
    keymap->cancelEditing();
    EXPECT_TRUE(keymap->mayDiscard(quit)) << "saved, then exported";

    keymap->beginEditing();
    keymap->addStick(0.2, 0.7);
    exportNow();
    EXPECT_FALSE(keymap->mayDiscard(closeStream)) << "unsaved edits, even exported";
    keymap->save();
    EXPECT_TRUE(keymap->mayDiscard(demo)) << "exported, then saved";

    addAndSave();
    exportNow();
    keymap->cancelEditing();
    addAndSave();
    EXPECT_FALSE(keymap->mayDiscard(otherGame)) << "changed since the export";
}

TEST_F(KeymapControllerTest, AnErrorStaysUntilTheNextSaveCancelOrImport) {
    const auto controller = make();
    const auto broken = put("broken.json", "{");
    const auto good = put("good.json", text(ProfileCodec::encode(layouts("com.game", {"X"}))));
    const std::function<void(KeymapController&)> ends[] = {
        [&](KeymapController& c) {
            c.importProfile();  // asks first, over the edits
            c.importProfile();
            chooser.opens.back()(good);
        },
        [](KeymapController& c) { c.cancelEditing(); },
        [](KeymapController& c) { c.save(); },
    };
    int exports = 0;
    for (const auto& end : ends) {
        controller->beginEditing();
        controller->importProfile();
        chooser.opens.back()(broken);
        drain();
        const QString said = controller->errorMessage();
        ASSERT_FALSE(said.isEmpty());
        controller->addLayout(false);
        // An export that succeeds takes away only an export's failure.
        controller->exportProfile();
        chooser.saves.back()(SaveTarget{store.directory / (std::to_string(++exports) + ".json")});
        drain();
        EXPECT_EQ(controller->errorMessage(), said);
        controller->applyTemplate(KeymapController::ProfileTemplate::moba);
        controller->startCapture(KeymapController::CaptureKind::switchTrigger);
        EXPECT_EQ(controller->errorMessage(), said);
        end(*controller);
        drain();
        EXPECT_EQ(controller->errorMessage(), "");
    }
}

TEST_F(KeymapControllerTest, AnAnswerForAnEndedEditingSessionIsDropped) {
    const auto controller = make();
    const auto other = put("other.json", text(ProfileCodec::encode(layouts("com.other", {"X"}))));
    controller->beginEditing();
    controller->importProfile();
    controller->exportProfile();
    controller->cancelEditing();
    controller->beginEditing();
    chooser.opens.back()(other);
    chooser.saves.back()(SaveTarget{store.directory / "late.json"});
    drain();
    EXPECT_EQ(names(*controller), std::vector<std::string>{"Main"});
    EXPECT_FALSE(std::filesystem::exists(store.directory / "late.json"));
}

// What the views bind to reaches QML: the capture as a kind with its action and slot.
TEST_F(KeymapControllerTest, ViewsReadTheCaptureByItsNames) {
    const auto controller = make();
    controller->beginEditing();
    controller->addStick(0.2, 0.7);
    QQmlEngine engine;
    QQmlComponent component(&engine);
    component.setData(
        "import QtQml\nimport Vantorel\nQtObject {\n"
        "  required property KeymapController keymap\n"
        "  readonly property bool capturingUp: keymap.captureKind === "
        "KeymapController.CaptureKind.slot && keymap.captureSlot === "
        "KeymapEditorModel.TriggerSlot.up\n"
        "  readonly property int actions: keymap.actions.rowCount()\n}",
        QUrl());
    std::unique_ptr<QObject> view(
        component.createWithInitialProperties({{"keymap", QVariant::fromValue(controller.get())}}));
    ASSERT_TRUE(view) << component.errorString().toStdString();
    EXPECT_FALSE(view->property("capturingUp").toBool());
    controller->startCapture(KeymapController::CaptureKind::slot, controller->selection(),
                             TriggerSlot::up);
    EXPECT_TRUE(view->property("capturingUp").toBool());
    EXPECT_EQ(view->property("actions").toInt(), 9);
}

}  // namespace
}  // namespace qm
