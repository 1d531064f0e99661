#include "KeymapController.h"

#include <QPointer>
#include <algorithm>
#include <cmath>
#include <utility>
#include <variant>

#include "EditorGeometry.h"
#include "InputRouter/KeymapFile.h"
#include "InputRouter/MacKeyCode.h"
#include "InputRouter/ProfileCodec.h"
#include "InputRouter/ProfileTemplates.h"
#include "QuillmereCore/Log.h"
#include "QuillmereKit/Tasks/GuiTask.h"
#include "TriggerLabel.h"

namespace qm {

namespace {

const QList<QByteArray> layoutRoles{"name", "edited", "switchKey"};
const QList<QByteArray> actionRoles{"actionId",  "kind",       "selected",    "x",
                                    "y",         "radius",     "zoneX",       "zoneY",
                                    "zoneWidth", "zoneHeight", "sensitivity", "label",
                                    "upLabel",   "downLabel",  "leftLabel",   "rightLabel"};

QString text(const UUID& id) {
    return QString::fromStdString(id.uuidString());
}

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

// A damaged layout logs where the parser stopped, which the player is not shown.
void logFailure(std::string_view what, const std::exception& error) {
    const ProfileError* profileError = profileErrorOf(error);
    Log::input().error("profile {} failed: {}", what,
                       profileError ? profileError->message() : std::string(error.what()));
}

std::optional<UUID> idFrom(const QString& text) {
    return UUID::parse(text.toStdString());
}

RowListModel::Row actionRow(const KeymapAction& action, bool selected) {
    auto kind = KeymapController::ActionKind::tap;
    PointF at;
    double radius = 0;
    RectF zone;
    double sensitivity = 0;
    QString label;
    std::array<QString, 4> directions;
    if (const auto* tap = std::get_if<KeymapAction::Tap>(&action.kind)) {
        at = tap->at;
        label = TriggerLabel::text(tap->trigger);
    } else if (const auto* stick = std::get_if<KeymapAction::Stick>(&action.kind)) {
        kind = KeymapController::ActionKind::stick;
        at = stick->center;
        radius = stick->radius;
        directions = {TriggerLabel::text(stick->up), TriggerLabel::text(stick->down),
                      TriggerLabel::text(stick->left), TriggerLabel::text(stick->right)};
    } else if (const auto* look = std::get_if<KeymapAction::Look>(&action.kind)) {
        kind = KeymapController::ActionKind::look;
        at = look->center;
        zone = look->zone;
        sensitivity = look->sensitivity;
    }
    // In the order of the action roles.
    return {text(action.id),
            static_cast<int>(kind),
            selected,
            at.x,
            at.y,
            radius,
            zone.x,
            zone.y,
            zone.width,
            zone.height,
            sensitivity,
            label,
            directions[0],
            directions[1],
            directions[2],
            directions[3]};
}

}  // namespace

QString KeymapController::mainLayoutName() {
    return tr("Main");
}

QString KeymapController::describe(const std::exception& error) {
    if (const ProfileError* profileError = profileErrorOf(error)) {
        if (profileError->kind() == ProfileErrorKind::unsupportedVersion) {
            return tr("This layout was made by a newer Vantorel (format %1). Update the app to "
                      "use it.")
                .arg(profileError->version());
        }
        // Where the parser stopped is for the log, not for the player.
        return tr("This file is not a valid layout.");
    }
    if (dynamic_cast<const SaveError*>(&error)) {
        return tr("The layout could not be saved: the profiles folder is unavailable.");
    }
    if (dynamic_cast<const ProfileStoreError*>(&error)) {
        return tr("The layout could not be saved: the game's name cannot name a file.");
    }
    return QString::fromStdString(error.what());
}

QString KeymapController::describeUnreadable(const std::exception& error) const {
    const QString game = text(package_.value_or(std::string()));
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

KeymapController::KeymapController(std::optional<std::string> package,
                                   std::optional<ProfileStore> store, KeymapFileChooser& chooser,
                                   QObject* parent)
    : QObject(parent),
      package_(std::move(package)),
      store_(std::move(store)),
      chooser_(chooser),
      layouts_(new RowListModel(layoutRoles, this)),
      actions_(new RowListModel(actionRoles, this)) {}

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
            setErrorMessage(unreadable_);
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
            names.append(text(layout.name));
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
        assign(layoutToast_, std::optional(LayoutToast{UUID::random(), *unreadable_}),
               &KeymapController::layoutToastChanged);
    }
}

void KeymapController::layoutSwitched(std::size_t index) {
    setActiveLayoutIndex(index);
    if (const KeymapLayout* layout = activeLayout()) {
        assign(layoutToast_,
               std::optional(LayoutToast{UUID::random(), tr("Layout: ") + text(layout->name)}),
               &KeymapController::layoutToastChanged);
    }
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
                case CaptureKind::newTap:
                    editCurrent([&](KeymapEditorModel& model) {
                        model.addTap(*trigger, {0.5, 0.5});
                    });
                    break;
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
        discardArmed_ = true;
        askAboutUnsaved(
            tr("Unsaved changes. Press Esc again to discard them, or Super+E to save."));
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
    quitArmed_ = false;
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
        // Said now, while the player can still export them, not when they are gone.
        assign(layoutToast_,
               std::optional(LayoutToast{
                   UUID::random(),
                   tr("Saved for this stream: without a game, layouts last until it ends.")}),
               &KeymapController::layoutToastChanged);
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
    assign(activeKeymaps_, std::optional(std::move(keymaps)),
           &KeymapController::activeKeymapsChanged);
    setActiveLayoutIndex(index);
    closeEditor();
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

bool KeymapController::mayQuit() {
    if (!isDirty() || quitArmed_) {
        return true;
    }
    quitArmed_ = true;
    askAboutUnsaved(tr("Unsaved changes. Quit again to discard them, or Super+E to save."));
    return false;
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
    if (kind != CaptureKind::none) {
        setErrorMessage(std::nullopt);
    }
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
    const std::string name = renameDraft_->toStdString();
    setRenameText(std::nullopt);
    editEditor([&](GameKeymapsEditorModel& editor) { editor.rename(editor.editedIndex(), name); });
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
    editCurrent([&](KeymapEditorModel& model) { model.addStick({x, y}); });
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
    if (!editor_) {
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
        setRenameText(text);
    }
}

void KeymapController::dismissToast(const QString& id) {
    if (layoutToast_ && idFrom(id) == layoutToast_->id) {
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
    // After an edit, what was asked or said before no longer holds: a quit or an Esc asked
    // about would discard the edit unasked, and an earlier command's error is past.
    if (editor.keymaps() != editor_->keymaps()) {
        quitArmed_ = false;
        discardArmed_ = false;
        setErrorMessage(std::nullopt);
        if (unsavedAsked_) {
            setNotice(std::nullopt);
        }
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
    quitArmed_ = false;
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
        setNotice(
            tr("The switch key was taken from “%1”.").arg(text(editor_->layouts()[*loser].name)));
    }
}

void KeymapController::importFile(const std::filesystem::path& file) {
    const std::uint64_t request = ++importRequest_;
    runOnWorker(this, [file, layoutName = mainLayoutName().toStdString()] {
        std::optional<GameKeymaps> keymaps = KeymapFile::read(file, layoutName);
        if (!keymaps) {
            throw KeymapFileError(KeymapFileErrorKind::readFailed, file,
                                  "cannot read " + file.string() + ": no such file");
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
    unsavedAsked_ = false;
    assign(notice_, std::move(notice), &KeymapController::noticeChanged);
}

void KeymapController::askAboutUnsaved(const QString& question) {
    setNotice(question);
    unsavedAsked_ = true;
}

void KeymapController::setRenameText(std::optional<QString> draft) {
    assign(renameDraft_, std::move(draft), &KeymapController::renameDraftChanged);
}

void KeymapController::updateLists() {
    QList<RowListModel::Row> layoutRows;
    QList<RowListModel::Row> actionRows;
    if (editor_) {
        for (std::size_t i = 0; i < editor_->layouts().size(); ++i) {
            const auto& layout = editor_->layouts()[i];
            layoutRows.append(
                {text(layout.name), i == editor_->editedIndex(),
                 layout.switchTrigger ? TriggerLabel::text(*layout.switchTrigger) : QString()});
        }
    }
    if (const KeymapEditorModel* model = currentModel()) {
        for (const KeymapAction& action : EditorGeometry::drawOrder(model->profile().actions)) {
            actionRows.append(actionRow(action, model->selection() == action.id));
        }
    }
    layouts_->setRows(std::move(layoutRows));
    actions_->setRows(std::move(actionRows));
}

QString KeymapController::captureActionId() const {
    return capture_.kind == CaptureKind::slot ? text(capture_.actionId) : QString();
}

QString KeymapController::layoutToastId() const {
    return layoutToast_ ? text(layoutToast_->id) : QString();
}

QString KeymapController::layoutToastText() const {
    return layoutToast_ ? layoutToast_->text : QString();
}

QString KeymapController::editedLayoutName() const {
    return currentModel() ? text(editor_->currentLayout().name) : QString();
}

QString KeymapController::switchTriggerLabel() const {
    if (!currentModel() || !editor_->currentLayout().switchTrigger) {
        return {};
    }
    return TriggerLabel::text(*editor_->currentLayout().switchTrigger);
}

bool KeymapController::canUndo() const {
    const KeymapEditorModel* model = currentModel();
    return model && model->canUndo();
}

bool KeymapController::hasLook() const {
    const KeymapEditorModel* model = currentModel();
    return model && model->hasLook();
}

bool KeymapController::showLabels() const {
    const KeymapEditorModel* model = currentModel();
    return !model || model->profile().showLabels;
}

QString KeymapController::selection() const {
    const KeymapEditorModel* model = currentModel();
    if (!model || !model->selection() || !model->action(*model->selection())) {
        return {};
    }
    return text(*model->selection());
}

const KeymapEditorModel* KeymapController::currentModel() const {
    return editor_ && !editor_->layouts().empty() ? &editor_->current() : nullptr;
}

}  // namespace qm
