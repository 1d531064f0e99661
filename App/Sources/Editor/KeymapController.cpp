#include "KeymapController.h"

#include <QCoreApplication>
#include <QPointer>
#include <algorithm>
#include <cmath>
#include <system_error>
#include <utility>
#include <variant>

#include "InputRouter/KeymapFile.h"
#include "InputRouter/MacKeyCode.h"
#include "InputRouter/ProfileCodec.h"
#include "InputRouter/ProfileTemplates.h"
#include "NameRefusal.h"
#include "QuillmereCore/Log.h"
#include "QuillmereCore/UnicodeText.h"
#include "QuillmereKit/Diagnostics/ErrorPresenter.h"
#include "QuillmereKit/Tasks/GuiTask.h"

namespace qm {

namespace {

QString text(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

const ProfileError* profileErrorOf(const std::exception& error) {
    if (const auto* fileError = dynamic_cast<const KeymapFileError*>(&error);
        fileError && fileError->profileError()) {
        return &*fileError->profileError();
    }
    return dynamic_cast<const ProfileError*>(&error);
}

// The codec's message where it refused the document, which names no file.
void logFailure(std::string_view what, const std::exception& error) {
    const ProfileError* profileError = profileErrorOf(error);
    Log::input().error("profile {} failed: {}", what,
                       profileError ? profileError->message() : std::string(error.what()));
}

std::optional<UUID> idFrom(const QString& text) {
    return UUID::parse(text.toStdString());
}

}  // namespace

QString KeymapController::mainLayoutName() {
    return tr("Main");
}

QString KeymapController::shownName(const std::string& name) {
    return QString::fromStdString(UnicodeText::excerpt(name, KeymapLayout::maxNameLength));
}

QString KeymapController::describe(const std::exception& error) {
    if (const ProfileError* profileError = profileErrorOf(error)) {
        if (profileError->kind() == ProfileErrorKind::unsupportedVersion) {
            return tr("This layout was made by a newer Vantorel (format %1). Update the app to "
                      "use it.")
                .arg(profileError->version());
        }
        // The message names the member, or where the parser stopped.
        return tr("This file is not a valid layout: %1")
            .arg(QString::fromStdString(profileError->message()));
    }
    if (dynamic_cast<const SaveError*>(&error)) {
        return tr("The layout could not be saved: the profiles folder is unavailable.");
    }
    if (dynamic_cast<const ProfileStoreError*>(&error)) {
        return tr("The layout could not be saved: the game's name cannot name a file.");
    }
    // The error's own text names the app's folders and the system's terms: the log has it.
    if (const auto* fileError = dynamic_cast<const KeymapFileError*>(&error)) {
        if (fileError->kind() == KeymapFileErrorKind::refusedToReplace) {
            return tr(
                "The layout could not be saved: the file it goes to cannot be read, so it "
                "is kept as it is.");
        }
        if (fileError->systemError()) {
            return describeSaveFailure(fileError->systemError());
        }
    }
    if (const auto* systemError = dynamic_cast<const std::system_error*>(&error)) {
        return describeSaveFailure(systemError->code());
    }
    return QCoreApplication::translate("ErrorPresenter", ErrorPresenter::Key::generic);
}

QString KeymapController::describeUnreadable(const std::exception& error) const {
    const QString game = text(UnicodeText::excerpt(package_.value_or(std::string())));
    if (const ProfileError* profileError = profileErrorOf(error);
        profileError && profileError->kind() == ProfileErrorKind::unsupportedVersion) {
        return tr("The layouts saved for %1 need a newer Vantorel (format %2): the default "
                  "layout plays until they are saved again.")
            .arg(game)
            .arg(profileError->version());
    }
    return tr("The layouts saved for %1 could not be read: the default layout plays until they "
              "are saved again.")
        .arg(game);
}

void KeymapController::loadActiveKeymaps() {
    if (activeKeymaps_ || loading_) {
        return;
    }
    if (!package_ || !store_) {
        useKeymaps(std::nullopt);
        return;
    }
    loading_ = true;
    runOnWorker(this, [store = *store_, package = *package_,
                       layoutName = mainLayoutName().toStdString()] {
        return store.loadKeymaps(package, layoutName);
    }).then([this](const TaskOutcome<std::optional<GameKeymaps>>& outcome) {
        loading_ = false;
        std::optional<GameKeymaps> stored;
        try {
            stored = outcome.get();
        } catch (const std::exception& error) {
            logFailure("load", error);
            unreadable_ = describeUnreadable(error);
            // The editor says what is wrong in the file, when the codec could tell.
            setErrorMessage(profileErrorOf(error) ? describe(error) : *unreadable_);
            if (inputMode_ == InputMode::keymap) {
                sayUnreadable();
            }
        }
        useKeymaps(std::move(stored));
        if (std::exchange(editWhenLoaded_, false)) {
            beginEditing();
        } else if (onApply_) {
            onApply_(*activeKeymaps_, activeLayoutIndex_);
        }
    });
}

void KeymapController::useKeymaps(std::optional<GameKeymaps> stored) {
    GameKeymaps keymaps =
        stored ? std::move(*stored)
               : GameKeymaps::migrating(ProfileTemplates::shooter(package_.value_or("unknown")),
                                        mainLayoutName().toStdString());
    assign(activeKeymaps_, std::optional(std::move(keymaps)),
           &KeymapController::activeKeymapsChanged);
}

void KeymapController::setActiveLayoutIndex(std::size_t index) {
    assign(activeLayoutIndex_, index, &KeymapController::activeLayoutIndexChanged);
}

const KeymapLayout* KeymapController::activeLayout() const {
    if (!activeKeymaps_ || activeKeymaps_->layouts.empty()) {
        return nullptr;
    }
    const auto& layouts = activeKeymaps_->layouts;
    return &layouts[activeLayoutIndex_ < layouts.size() ? activeLayoutIndex_ : 0];
}

QStringList KeymapController::layoutNames() const {
    QStringList names;
    if (activeKeymaps_) {
        for (const KeymapLayout& layout : activeKeymaps_->layouts) {
            names.append(shownName(layout.name));
        }
    }
    return names;
}

void KeymapController::setInputMode(InputMode mode) {
    if (mode == inputMode_) {
        return;
    }
    inputMode_ = mode;
    emit inputModeChanged();
    // Each time the default takes the place of the game's own layouts.
    if (mode == InputMode::keymap) {
        sayUnreadable();
    }
}

void KeymapController::sayUnreadable() {
    if (unreadable_) {
        showToast(*unreadable_);
    }
}

void KeymapController::layoutSwitched(std::size_t index) {
    setActiveLayoutIndex(index);
    if (const KeymapLayout* layout = activeLayout()) {
        showToast(tr("Layout: ") + shownName(layout->name), true);
    }
}

void KeymapController::showToast(const QString& text, bool namesLayout) {
    // Without an editor, a question is asked in the toast.
    if (!editor_) {
        forgetQuestion();
    }
    assign(layoutToast_, std::optional(LayoutToast{UUID::random(), text, namesLayout}),
           &KeymapController::layoutToastChanged);
}

void KeymapController::setEditor(std::optional<GameKeymapsEditorModel> editor) {
    if (editor_ == editor) {
        return;
    }
    editor_ = std::move(editor);
    updateLists();
    emit editorChanged();
}

void KeymapController::setCapture(const Capture& capture) {
    assign(capture_, capture, &KeymapController::captureChanged);
}

bool KeymapController::passesKeyThrough(std::uint16_t keyCode, KeyModifiers held) const {
    if (!editor_) {
        return false;
    }
    if (renameDraft_) {
        return true;
    }
    if (capture_.kind != CaptureKind::none) {
        return false;
    }
    return std::ranges::find(editorKeys, keyCode) != editorKeys.end() ||
           (keyCode == undoKey && held.contains(KeyModifiers::control));
}

void KeymapController::handleWhileEditing(const InputEvent& event) {
    if (!editor_ || renameDraft_) {
        return;
    }
    if (capture_.kind != CaptureKind::none) {
        const auto result = KeymapEditorModel::captureResult(event);
        if (!result) {
            return;
        }
        if (const auto& trigger = result->trigger) {
            switch (capture_.kind) {
                case CaptureKind::slot:
                    editCurrent([&](KeymapEditorModel& model) {
                        model.assign(*trigger, capture_.actionId, capture_.slot);
                    });
                    break;
                case CaptureKind::newTap: {
                    bool added = true;
                    editCurrent([&](KeymapEditorModel& model) {
                        added = model.addTap(*trigger, {0.5, 0.5}).has_value();
                    });
                    sayIfFull(added);
                    break;
                }
                case CaptureKind::switchTrigger:
                    assignSwitchTrigger(*trigger);
                    break;
                case CaptureKind::none:
                    break;
            }
        }
        setCapture({});
        return;
    }
    const auto* key = std::get_if<KeyDownEvent>(&event);
    if (!key || key->isRepeat) {
        return;
    }
    if (key->keyCode != MacKeyCode::escape) {
        discardArmed_ = false;
        return;
    }
    if (editor_->isDirty() && !discardArmed_) {
        askAboutUnsaved(
            tr("Unsaved changes. Press Esc again to discard them, or Super+E to save."));
        discardArmed_ = true;
        return;
    }
    cancelEditing();
}

void KeymapController::beginEditing() {
    loadActiveKeymaps();
    if (!activeKeymaps_) {
        editWhenLoaded_ = true;
        return;
    }
    ++session_;
    setEditor(GameKeymapsEditorModel(*activeKeymaps_, activeLayoutIndex_));
    discardArmed_ = false;
    armed_.reset();
    setCapture({});
    setNotice(std::nullopt);
    setRenameText(std::nullopt);
}

void KeymapController::save() {
    if (!editor_ || saving_) {
        return;
    }
    auto keymaps = std::make_shared<const GameKeymaps>(editor_->keymaps());
    if (!package_) {
        saved(*keymaps);
        return;
    }
    saving_ = true;
    // The store replaces the file with two fsyncs: not on the GUI thread.
    runOnWorker(this, [store = store_, keymaps] {
        if (!store) {
            throw SaveError();
        }
        store->save(*keymaps);
    }).then([this, session = session_, keymaps](const TaskOutcome<void>& outcome) {
        saving_ = false;
        if (session != session_ || outcome.isCancelled()) {
            return;
        }
        try {
            outcome.get();
        } catch (const std::exception& error) {
            showFailure("save", error);
            return;
        }
        saved(*keymaps);
    });
}

void KeymapController::saved(GameKeymaps keymaps) {
    unreadable_.reset();
    std::optional<UUID> inPlay;
    if (const KeymapLayout* layout = activeLayout()) {
        inPlay = layout->id;
    }
    const std::size_t index = inPlay ? keymaps.layoutIndex(*inPlay).value_or(0) : 0;
    QStringList said;
    if (!package_) {
        streamLayoutsChanged_ = streamLayoutsChanged_ || isDirty();
        // Said now, while the player can still export them, not when they are gone.
        said.append(tr("Saved for this stream: without a game, layouts last until it ends."));
    }
    // The layout in play goes on playing: the player who edited another must not think it plays.
    if (index < keymaps.layouts.size() && editor_ && !editor_->layouts().empty() &&
        editor_->currentLayout().id != keymaps.layouts[index].id) {
        said.append(tr("Layout in play: %1").arg(shownName(keymaps.layouts[index].name)));
    }
    assign(activeKeymaps_, std::optional(std::move(keymaps)),
           &KeymapController::activeKeymapsChanged);
    setActiveLayoutIndex(index);
    closeEditor();
    if (!said.isEmpty()) {
        showToast(said.join(u' '));
    }
    // An editor set from outside may come before the keymaps: onApply then follows the read.
    loadActiveKeymaps();
    if (onApply_ && activeKeymaps_) {
        onApply_(*activeKeymaps_, activeLayoutIndex_);
    }
}

void KeymapController::cancelEditing() {
    editWhenLoaded_ = false;
    if (!editor_) {
        return;
    }
    closeEditor();
    // An editor set from outside may come before the keymaps: onApply then follows the read.
    loadActiveKeymaps();
    if (onApply_ && activeKeymaps_) {
        onApply_(*activeKeymaps_, activeLayoutIndex_);
    }
}

bool KeymapController::mayDiscard(Discarding by) {
    const bool endsStream = by != Discarding::fileImport;
    if ((isDirty() || (endsStream && streamLayoutsAtRisk())) && armed_ != by) {
        askAboutUnsaved(discardQuestion(by));
        armed_ = by;
        return false;
    }
    armed_.reset();
    if (endsStream) {
        streamEnding();
    }
    return true;
}

void KeymapController::withdrawQuestion() {
    if (!unsavedAsked_) {
        return;
    }
    if (editor_) {
        setNotice(std::nullopt);
    } else {
        forgetQuestion();
        assign(layoutToast_, std::optional<LayoutToast>(), &KeymapController::layoutToastChanged);
    }
}

bool KeymapController::streamLayoutsAtRisk() const {
    return streamLayoutsChanged_ && activeKeymaps_ != exported_;
}

void KeymapController::streamEnding() {
    exported_.reset();
    if (std::exchange(streamLayoutsChanged_, false)) {
        useKeymaps(std::nullopt);
        setActiveLayoutIndex(0);
        if (!editor_ && onApply_) {
            onApply_(*activeKeymaps_, activeLayoutIndex_);
        }
    }
    cancelEditing();
}

QString KeymapController::discardQuestion(Discarding by) const {
    QString again;
    switch (by) {
        case Discarding::quit:
            again = tr("Quit again");
            break;
        case Discarding::closeStream:
            again = tr("Close the stream again");
            break;
        case Discarding::backToLibrary:
            again = tr("Choose Back to Library again");
            break;
        case Discarding::demo:
            again = tr("Choose Demo Mode again");
            break;
        case Discarding::otherGame:
            again = tr("Open the game again");
            break;
        case Discarding::fileImport:
            return tr(
                "Unsaved changes. An import replaces every layout: choose Import… again to "
                "replace them, or keep editing.");
    }
    if (package_) {
        return tr("Unsaved changes. %1 to discard them, or Super+E to save.").arg(again);
    }
    // Saving keeps them only as long as the stream: a file is the only place they outlast it.
    return editor_ ? tr("Layouts without a game end with the stream. %1 to discard them, or "
                        "Export… to keep them in a file.")
                         .arg(again)
                   : tr("Layouts without a game end with the stream. %1 to discard them, or "
                        "Super+E, then Export…, to keep them in a file.")
                         .arg(again);
}

void KeymapController::requestToggle() {
    if (onToggleRequest_) {
        onToggleRequest_();
    }
}

void KeymapController::requestLayout(int index) {
    if (onLayoutRequest_ && index >= 0) {
        onLayoutRequest_(static_cast<std::size_t>(index));
    }
}

void KeymapController::startCapture(CaptureKind kind, const QString& actionId, TriggerSlot slot) {
    if (kind != CaptureKind::slot) {
        setCapture({kind, {}, TriggerSlot::tap});
    } else if (const auto id = idFrom(actionId)) {
        setCapture(Capture::forSlot(*id, slot));
    }
}

void KeymapController::editLayout(int index) {
    if (index >= 0) {
        editEditor(
            [&](GameKeymapsEditorModel& editor) { editor.edit(static_cast<std::size_t>(index)); });
    }
}

void KeymapController::addLayout(bool copyingCurrent) {
    if (!editor_) {
        return;
    }
    const QString name = tr("Layout %1").arg(editor_->layouts().size() + 1);
    editEditor([&](GameKeymapsEditorModel& editor) {
        editor.addLayout(name.toStdString(), copyingCurrent);
    });
}

void KeymapController::beginRename() {
    if (editor_ && !editor_->layouts().empty()) {
        setRenameText(text(editor_->currentLayout().name));
    }
}

void KeymapController::commitRename() {
    if (!renameDraft_) {
        return;
    }
    const QString hidden = NameRefusal::hiddenCharacter(*renameDraft_);
    const std::string name = renameDraft_->toStdString();
    setRenameText(std::nullopt);
    bool renamed = false;
    if (hidden.isEmpty()) {
        editEditor([&](GameKeymapsEditorModel& editor) {
            renamed = editor.rename(editor.editedIndex(), name);
        });
    }
    if (!editor_) {
        return;
    }
    // The outcome of this rename replaces what was said before, a refused one's word included.
    const QString kept = shownName(editor_->currentLayout().name);
    setNotice(
        renamed ? std::nullopt
        : hidden.isEmpty()
            ? std::optional(tr("“%1” keeps its name: a layout name cannot be empty.").arg(kept))
            : std::optional(
                  tr("“%1” keeps its name: a layout name cannot hold %2.").arg(kept, hidden)));
}

void KeymapController::cancelRename() {
    setRenameText(std::nullopt);
}

void KeymapController::deleteEditedLayout() {
    editEditor([](GameKeymapsEditorModel& editor) { editor.deleteLayout(editor.editedIndex()); });
}

void KeymapController::makeEditedLayoutMain() {
    editEditor([](GameKeymapsEditorModel& editor) { editor.makeMain(editor.editedIndex()); });
}

void KeymapController::clearSwitchTrigger() {
    editEditor([](GameKeymapsEditorModel& editor) {
        editor.setSwitchTrigger(std::nullopt, editor.editedIndex());
    });
}

void KeymapController::applyTemplate(ProfileTemplate kind) {
    applyTemplate([kind](std::string packageName) {
        return kind == ProfileTemplate::moba ? ProfileTemplates::moba(std::move(packageName))
                                             : ProfileTemplates::shooter(std::move(packageName));
    });
}

void KeymapController::applyTemplate(const std::function<KeymapProfile(std::string)>& make) {
    if (!editor_) {
        return;
    }
    const KeymapProfile templateProfile = make(editor_->packageName());
    editCurrent([&](KeymapEditorModel& model) { model.applyTemplate(templateProfile); });
}

void KeymapController::select(const QString& actionId) {
    editCurrent([&](KeymapEditorModel& model) { model.setSelection(idFrom(actionId)); });
}

void KeymapController::addStick(double x, double y) {
    if (!std::isfinite(x) || !std::isfinite(y)) {
        return;
    }
    bool added = true;
    editCurrent([&](KeymapEditorModel& model) { added = model.addStick({x, y}).has_value(); });
    sayIfFull(added);
}

void KeymapController::sayIfFull(bool added) {
    if (!added) {
        setNotice(tr("A layout holds at most %1 actions: delete one to add another.")
                      .arg(KeymapProfile::maxActions));
    }
}

void KeymapController::addLook() {
    editCurrent([](KeymapEditorModel& model) { model.addLook(); });
}

void KeymapController::moveAction(const QString& actionId, double x, double y) {
    if (const auto id = idFrom(actionId)) {
        editCurrent([&](KeymapEditorModel& model) { model.move(*id, {x, y}); });
    }
}

void KeymapController::setStickRadius(const QString& actionId, double radius) {
    if (const auto id = idFrom(actionId)) {
        editCurrent([&](KeymapEditorModel& model) { model.setStickRadius(*id, radius); });
    }
}

void KeymapController::setLookZone(const QString& actionId, double x, double y, double width,
                                   double height) {
    if (const auto id = idFrom(actionId)) {
        editCurrent([&](KeymapEditorModel& model) {
            model.setLookZone(*id, {x, y, width, height});
        });
    }
}

void KeymapController::setSensitivity(const QString& actionId, double value) {
    if (const auto id = idFrom(actionId)) {
        editCurrent([&](KeymapEditorModel& model) { model.setSensitivity(*id, value); });
    }
}

void KeymapController::deleteAction(const QString& actionId) {
    if (const auto id = idFrom(actionId)) {
        editCurrent([&](KeymapEditorModel& model) { model.remove(*id); });
    }
}

void KeymapController::setShowLabels(bool show) {
    editCurrent([&](KeymapEditorModel& model) { model.setShowLabels(show); });
}

void KeymapController::undo() {
    editCurrent([](KeymapEditorModel& model) { model.undo(); });
}

void KeymapController::importProfile() {
    if (!editor_ || !mayDiscard(Discarding::fileImport)) {
        return;
    }
    chooser_.chooseFileToOpen([self = QPointer(this), session = session_](auto file) {
        if (self && file && self->editor_ && self->session_ == session) {
            self->importFile(*file);
        }
    });
}

void KeymapController::dismissErrorMessage() {
    setErrorMessage(std::nullopt);
}

void KeymapController::dismissNotice() {
    setNotice(std::nullopt);
}

void KeymapController::setRenameDraft(const QString& text) {
    if (renameDraft_) {
        const QString kept = NameRefusal::fittedLayoutName(text);
        setRenameText(kept);
        if (kept != text) {
            emit renameDraftChanged();  // the field shows what is kept, though the draft held it
        }
    }
}

void KeymapController::dismissToast(const QString& id) {
    if (layoutToast_ && idFrom(id) == layoutToast_->id) {
        if (!editor_) {
            forgetQuestion();
        }
        assign(layoutToast_, std::optional<LayoutToast>(), &KeymapController::layoutToastChanged);
    }
}

template <typename T>
void KeymapController::assign(T& field, T value, void (KeymapController::*changed)()) {
    if (field == value) {
        return;
    }
    field = std::move(value);
    emit(this->*changed)();
}

template <typename Change>
void KeymapController::editEditor(Change change) {
    if (!editor_) {
        return;
    }
    GameKeymapsEditorModel editor = *editor_;
    change(editor);
    // After an edit, a question asked before no longer holds: the command or the Esc asked about
    // would discard the edit unasked.
    if (editor.keymaps() != editor_->keymaps() && unsavedAsked_) {
        setNotice(std::nullopt);
    }
    setEditor(std::move(editor));
}

template <typename Change>
void KeymapController::editCurrent(Change change) {
    editEditor([&](GameKeymapsEditorModel& editor) {
        if (!editor.layouts().empty()) {
            change(editor.current());
        }
    });
}

void KeymapController::closeEditor() {
    ++session_;
    armed_.reset();
    chooser_.reject();
    setEditor(std::nullopt);
    setCapture({});
    setErrorMessage(std::nullopt);
    setNotice(std::nullopt);
    setRenameText(std::nullopt);
}

void KeymapController::assignSwitchTrigger(Trigger trigger) {
    setNotice(std::nullopt);
    std::optional<std::size_t> loser;
    editEditor([&](GameKeymapsEditorModel& editor) {
        loser = editor.setSwitchTrigger(trigger, editor.editedIndex());
    });
    if (loser) {
        setNotice(tr("The switch key was taken from “%1”.")
                      .arg(shownName(editor_->layouts()[*loser].name)));
    }
}

void KeymapController::importFile(const std::filesystem::path& file) {
    const std::uint64_t request = ++importRequest_;
    runOnWorker(this, [file, layoutName = mainLayoutName().toStdString()] {
        std::optional<GameKeymaps> keymaps = KeymapFile::read(file, layoutName);
        if (!keymaps) {
            throw KeymapFileError(KeymapFileErrorKind::readFailed, file,
                                  "cannot read " + file.string() + ": no such file", std::nullopt,
                                  std::make_error_code(std::errc::no_such_file_or_directory));
        }
        return std::move(*keymaps);
    }).then([this, session = session_, request](const TaskOutcome<GameKeymaps>& outcome) {
        if (!editor_ || session != session_ || request != importRequest_ || outcome.isCancelled()) {
            return;
        }
        try {
            const GameKeymaps& keymaps = outcome.get();
            editEditor([&](GameKeymapsEditorModel& editor) { editor.applyImport(keymaps); });
            setErrorMessage(std::nullopt);
        } catch (const KeymapFileError& error) {
            if (error.systemError()) {
                logFailure("import", error);
                setErrorMessage(
                    describeFileFailure(FileWork::importing, error.systemError(), error.path()));
            } else {
                showFailure("import", error);
            }
        } catch (const std::exception& error) {
            showFailure("import", error);
        }
    });
}

void KeymapController::showFailure(std::string_view what, const std::exception& error) {
    logFailure(what, error);
    setErrorMessage(describe(error));
}

void KeymapController::setErrorMessage(std::optional<QString> message) {
    assign(errorMessage_, std::move(message), &KeymapController::errorMessageChanged);
}

void KeymapController::setNotice(std::optional<QString> notice) {
    forgetQuestion();
    assign(notice_, std::move(notice), &KeymapController::noticeChanged);
}

void KeymapController::forgetQuestion() {
    // A question no longer shown no longer holds: what it asked about asks again.
    if (unsavedAsked_) {
        unsavedAsked_ = false;
        armed_.reset();
        discardArmed_ = false;
    }
}

void KeymapController::askAboutUnsaved(const QString& question) {
    // A question under a dialog or a menu is not seen: they close first, as their Cancel does.
    chooser_.reject();
    setRenameText(std::nullopt);
    emit popupsDismissed();
    if (editor_) {
        setNotice(question);
    } else {
        showToast(question);
    }
    unsavedAsked_ = true;
}

void KeymapController::setRenameText(std::optional<QString> draft) {
    assign(renameDraft_, std::move(draft), &KeymapController::renameDraftChanged);
}

}  // namespace qm
