#pragma once

#include <QAbstractItemModel>
#include <QObject>
#include <QString>
#include <QStringList>
#include <array>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include <QtQml/qqmlregistration.h>

#include "GameKeymapsEditorModel.h"
#include "InputRouter/GameKeymaps.h"
#include "InputRouter/InputEvent.h"
#include "KeymapFileChooser.h"
#include "ProfileStore.h"
#include "QuillmereCore/TypedError.h"
#include "RowListModel.h"

namespace qm {

// How a stream window reads, plays and edits the keymaps of its game: the keymaps in play with
// their active layout, the window's input mode and at most one open editor with its pending
// capture, rename, error text and notice. It routes no input: its owner installs what `onApply`
// hands over in the input router and forwards the events that arrive while editing. Views read
// every field as a property, notified only on a real change, and edit through the invokables.
// GUI thread only; the callbacks are called synchronously.
class KeymapController : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("A stream window makes its keymap controller")

public:
    // QML names the cases by scope: KeymapController.CaptureKind.slot.
    enum class CaptureKind { none, slot, newTap, switchTrigger };
    Q_ENUM(CaptureKind)
    enum class ActionKind { tap, stick, look };
    Q_ENUM(ActionKind)
    enum class ProfileTemplate { shooter, moba };
    Q_ENUM(ProfileTemplate)
    enum class FileWork { importing, exporting };
    // The commands besides Esc that drop an open editor's edits, each asked about in its words.
    enum class Discarding { quit, closeStream, backToLibrary, demo, otherGame, fileImport };

    // What the next pressed input is taken for: a slot of an action of the edited layout, the
    // trigger of a new tap, or the edited layout's switch trigger.
    struct Capture {
        CaptureKind kind = CaptureKind::none;
        UUID actionId;
        TriggerSlot slot = TriggerSlot::tap;

        static Capture forSlot(const UUID& id, TriggerSlot slot) {
            return {CaptureKind::slot, id, slot};
        }
        bool operator==(const Capture&) const = default;
    };

    struct LayoutToast {
        UUID id;  // new for every toast
        QString text;
        bool namesLayout = false;  // a switch's "Layout: …", not a sentence
        bool operator==(const LayoutToast&) const = default;
    };

    enum class SaveErrorKind { noProfileFolder };
    class SaveError : public TypedError<SaveErrorKind> {
    public:
        SaveError() : TypedError(Kind::noProfileFolder, "noProfileFolder") {}
    };

    using Apply = std::function<void(const GameKeymaps& keymaps, std::size_t activeIndex)>;
    using LayoutRequest = std::function<void(std::size_t index)>;

    // Return, Tab, Space, Backspace, Delete and the keypad's Delete reach the editor's own
    // controls while nothing is being captured, whatever modifiers are held, so that the focused
    // button presses with Space; so does Z with Ctrl held, the desktop's undo.
    static constexpr std::array<std::uint16_t, 6> editorKeys{36, 48, 49, 51, 117, 65};
    static constexpr std::uint16_t undoKey = 6;

private:
    Q_PROPERTY(bool editing READ isEditing NOTIFY editorChanged)
    Q_PROPERTY(int activeLayoutIndex READ activeLayoutIndexValue NOTIFY activeLayoutIndexChanged)
    Q_PROPERTY(QStringList layoutNames READ layoutNames NOTIFY activeKeymapsChanged)
    // The raw value of the input mode.
    Q_PROPERTY(int inputMode READ inputModeValue NOTIFY inputModeChanged)
    // Empty when there is none.
    Q_PROPERTY(QString errorMessage READ errorMessage NOTIFY errorMessageChanged)
    Q_PROPERTY(QString notice READ notice NOTIFY noticeChanged)
    // The rename text is empty also while renaming; `renaming` tells.
    Q_PROPERTY(bool renaming READ isRenaming NOTIFY renameDraftChanged)
    Q_PROPERTY(QString renameDraft READ renameDraft WRITE setRenameDraft NOTIFY renameDraftChanged)
    Q_PROPERTY(CaptureKind captureKind READ captureKind NOTIFY captureChanged)
    Q_PROPERTY(QString captureActionId READ captureActionId NOTIFY captureChanged)
    Q_PROPERTY(
        qm::KeymapEditorModel::TriggerSlot captureSlot READ captureSlot NOTIFY captureChanged)
    // Empty without a toast.
    Q_PROPERTY(QString layoutToastId READ layoutToastId NOTIFY layoutToastChanged)
    Q_PROPERTY(QString layoutToastText READ layoutToastText NOTIFY layoutToastChanged)
    // A switch's toast shows its fixed time however long the name; a sentence as long as it
    // takes to read.
    Q_PROPERTY(bool layoutToastNamesLayout READ layoutToastNamesLayout NOTIFY layoutToastChanged)

    // The open editor; while not editing these read as empty, false or 0, and labels as shown.
    Q_PROPERTY(bool dirty READ isDirty NOTIFY editorChanged)
    Q_PROPERTY(int editedIndex READ editedIndex NOTIFY editorChanged)
    Q_PROPERTY(QString editedLayoutName READ editedLayoutName NOTIFY editorChanged)
    // Empty without a switch trigger.
    Q_PROPERTY(QString switchTriggerLabel READ switchTriggerLabel NOTIFY editorChanged)
    Q_PROPERTY(bool canAddLayout READ canAddLayout NOTIFY editorChanged)
    Q_PROPERTY(bool canDeleteLayout READ canDeleteLayout NOTIFY editorChanged)
    Q_PROPERTY(bool canUndo READ canUndo NOTIFY editorChanged)
    Q_PROPERTY(bool hasLook READ hasLook NOTIFY editorChanged)
    Q_PROPERTY(bool showLabels READ showLabels NOTIFY editorChanged)
    // The selected action's id; empty for none, also when it names no action of the layout.
    Q_PROPERTY(QString selection READ selection WRITE select NOTIFY editorChanged)
    // Roles: name, edited, switchKey (the switch trigger's label, empty for none).
    Q_PROPERTY(QAbstractItemModel* layouts READ layouts CONSTANT)
    // The edited layout's actions in the order they are drawn (EditorGeometry::drawOrder). Roles:
    // actionId, kind (ActionKind), selected, x and y (a tap's point, a stick's or look's centre),
    // radius, zoneX, zoneY, zoneWidth, zoneHeight, sensitivity, label (a tap's trigger), upLabel,
    // downLabel, leftLabel, rightLabel.
    Q_PROPERTY(QAbstractItemModel* actions READ actions CONSTANT)

public:
    // The name of the one layout of template keymaps and of a migrated one-profile file.
    static QString mainLayoutName();
    // A layout name as the app's texts and lists show it: one run, whatever its script.
    static QString shownName(const std::string& name);
    // The user's text for a failure, in plain words: the codec's, the store's and the save's
    // own, the system's reason for a file, else that something went wrong.
    static QString describe(const std::exception& error);
    // The same for an import or an export that the system refused with `code`: what failed and
    // why, the file's path cut to fit one line.
    static QString describeFileFailure(FileWork work, const std::error_code& code,
                                       const std::filesystem::path& file);
    // A save of the game's layouts that the system refused with `code`: why, in words.
    static QString describeSaveFailure(const std::error_code& code);

    // `package` is the stream's game, nothing without one; without a store nothing is read and
    // saving fails. The chooser must outlive the controller.
    KeymapController(std::optional<std::string> package, std::optional<ProfileStore> store,
                     KeymapFileChooser& chooser, QObject* parent = nullptr);

    const std::optional<std::string>& package() const noexcept { return package_; }

    // --- play, for the input coordinator
    const std::optional<GameKeymaps>& activeKeymaps() const noexcept { return activeKeymaps_; }
    // Reads the game's file on a worker, once; without a game or a store, and when the file is
    // missing or does not read, the shooter template as one layout "Main" is taken at once.
    // Never written. Once read, onApply hands them over, unless an editor waits for them.
    // They hold at least one layout. A file that does not read is named in the editor's error
    // and, in keymap mode, in a toast, until layouts are saved.
    void loadActiveKeymaps();
    std::size_t activeLayoutIndex() const noexcept { return activeLayoutIndex_; }
    void setActiveLayoutIndex(std::size_t index);
    // The layout at the active index, the first one when that is out of range.
    const KeymapLayout* activeLayout() const;
    QStringList layoutNames() const;
    InputMode inputMode() const noexcept { return inputMode_; }
    void setInputMode(InputMode mode);
    // From the router's switch: sets the index and raises a toast naming the layout.
    void layoutSwitched(std::size_t index);
    // A sentence for the player in the toast, what a refused command could not do say; or, from
    // a switch, the layout's name.
    void showToast(const QString& text, bool namesLayout = false);

    void setOnApply(Apply apply) { onApply_ = std::move(apply); }
    void setOnToggleRequest(std::function<void()> request) {
        onToggleRequest_ = std::move(request);
    }
    void setOnLayoutRequest(LayoutRequest request) { onLayoutRequest_ = std::move(request); }

    // --- editing
    bool isEditing() const noexcept { return editor_.has_value(); }
    const std::optional<GameKeymapsEditorModel>& editor() const noexcept { return editor_; }
    void setEditor(std::optional<GameKeymapsEditorModel> editor);
    const Capture& capture() const noexcept { return capture_; }
    void setCapture(const Capture& capture);
    // Whether a key pressed with these modifiers also reaches the window's own controls while
    // editing.
    bool passesKeyThrough(std::uint16_t keyCode, KeyModifiers held = {}) const;
    // One event while editing: a capture takes it, else Esc closes or arms the discard.
    void handleWhileEditing(const InputEvent& event);

    // Opens the editor on the keymaps in play, editing the active layout.
    Q_INVOKABLE void beginEditing();
    // Writes the game's file, then plays the edited keymaps, the layout in play still playing
    // (a toast names it when the editor showed another); on failure the editor stays open.
    Q_INVOKABLE void save();
    // Drops the edits and installs the keymaps in play again.
    Q_INVOKABLE void cancelEditing();
    // Asked before a command drops the edits: with unsaved ones, the command's first request is
    // refused with a question, as Esc does, and the same request again goes on. The editor's
    // dialogs and menus close before it asks, and without an editor it asks in the toast. A command
    // that ends the stream also asks about layouts saved only for it (without a game), and when it
    // goes on the editor closes and those go.
    bool mayDiscard(Discarding by);
    // Something came over the question: it is taken back, so that the next request asks again,
    // in sight.
    void withdrawQuestion();
    // The stream menu's edit-or-save command and the HUD's layout menu, through the owner.
    Q_INVOKABLE void requestToggle();
    Q_INVOKABLE void requestLayout(int index);

    // Kind none ends a capture; a slot capture names an action of the edited layout.
    Q_INVOKABLE void startCapture(qm::KeymapController::CaptureKind kind,
                                  const QString& actionId = QString(),
                                  qm::KeymapEditorModel::TriggerSlot slot = TriggerSlot::tap);

    // Layout commands on the edited layout; a new one is named "Layout <count + 1>".
    Q_INVOKABLE void editLayout(int index);
    Q_INVOKABLE void addLayout(bool copyingCurrent);
    Q_INVOKABLE void beginRename();
    // A blank text keeps the old name.
    Q_INVOKABLE void commitRename();
    Q_INVOKABLE void cancelRename();
    Q_INVOKABLE void deleteEditedLayout();
    Q_INVOKABLE void makeEditedLayoutMain();
    Q_INVOKABLE void clearSwitchTrigger();
    // The edited layout's profile replaced by a template for this game, as one undoable step.
    Q_INVOKABLE void applyTemplate(qm::KeymapController::ProfileTemplate kind);
    void applyTemplate(const std::function<KeymapProfile(std::string packageName)>& make);

    // Edits of the edited layout. Ids are the actions' texts; positions and sizes fractions of
    // the video.
    Q_INVOKABLE void select(const QString& actionId);
    Q_INVOKABLE void addStick(double x, double y);
    Q_INVOKABLE void addLook();
    Q_INVOKABLE void moveAction(const QString& actionId, double x, double y);
    Q_INVOKABLE void setStickRadius(const QString& actionId, double radius);
    Q_INVOKABLE void setLookZone(const QString& actionId, double x, double y, double width,
                                 double height);
    Q_INVOKABLE void setSensitivity(const QString& actionId, double value);
    Q_INVOKABLE void deleteAction(const QString& actionId);
    Q_INVOKABLE void setShowLabels(bool show);
    Q_INVOKABLE void undo();

    // Keymaps files chosen by the user, while editing. An import replaces every layout of the
    // editor, asked about first over unsaved edits, and lives there until saved; an export writes
    // the edited state, unsaved edits included. The file work runs off the GUI thread; answers for
    // an ended editing session are dropped.
    Q_INVOKABLE void importProfile();
    Q_INVOKABLE void exportProfile();

    // The last failure's text, kept until the next save, cancel or import.
    QString errorMessage() const { return errorMessage_.value_or(QString()); }
    Q_INVOKABLE void dismissErrorMessage();
    QString notice() const { return notice_.value_or(QString()); }
    Q_INVOKABLE void dismissNotice();
    bool isRenaming() const noexcept { return renameDraft_.has_value(); }
    QString renameDraft() const { return renameDraft_.value_or(QString()); }
    // The rename field's text; ignored while not renaming.
    void setRenameDraft(const QString& text);
    const std::optional<LayoutToast>& layoutToast() const noexcept { return layoutToast_; }
    // Ends the toast only if it is still the one with this id.
    Q_INVOKABLE void dismissToast(const QString& id);

    // What the views read of the capture, the toast and the open editor.
    CaptureKind captureKind() const noexcept { return capture_.kind; }
    QString captureActionId() const;
    TriggerSlot captureSlot() const noexcept { return capture_.slot; }
    QString layoutToastId() const;
    QString layoutToastText() const;
    bool layoutToastNamesLayout() const { return layoutToast_ && layoutToast_->namesLayout; }
    bool isDirty() const { return editor_ && editor_->isDirty(); }
    int editedIndex() const noexcept {
        return editor_ ? static_cast<int>(editor_->editedIndex()) : 0;
    }
    QString editedLayoutName() const;
    QString switchTriggerLabel() const;
    bool canAddLayout() const noexcept { return editor_ && editor_->canAddLayout(); }
    bool canDeleteLayout() const noexcept { return editor_ && editor_->canDeleteLayout(); }
    bool canUndo() const;
    bool hasLook() const;
    bool showLabels() const;
    QString selection() const;
    QAbstractItemModel* layouts() const noexcept { return layouts_; }
    QAbstractItemModel* actions() const noexcept { return actions_; }

signals:
    void activeKeymapsChanged();
    void activeLayoutIndexChanged();
    void inputModeChanged();
    void editorChanged();
    void captureChanged();
    void errorMessageChanged();
    void noticeChanged();
    void renameDraftChanged();
    void layoutToastChanged();
    // The editor's menus close: a question is coming that they would hide.
    void popupsDismissed();

private:
    template <typename T>
    void assign(T& field, T value, void (KeymapController::*changed)());
    template <typename Change>
    void editEditor(Change change);
    template <typename Change>
    void editCurrent(Change change);
    void useKeymaps(std::optional<GameKeymaps> stored);
    // Which game's stored layouts did not read, and that the default plays meanwhile.
    QString describeUnreadable(const std::exception& error) const;
    void sayUnreadable();
    // Logs the failure and shows it in the editor.
    void showFailure(std::string_view what, const std::exception& error);
    // Ends editing: the editor and everything that belongs to it.
    void closeEditor();
    // Plays what the editor saved and closes it.
    void saved(GameKeymaps keymaps);
    void assignSwitchTrigger(Trigger trigger);
    void importFile(const std::filesystem::path& file);
    KeymapFileChooser::SaveAnswer exportAnswer();
    void exportTo(const KeymapFileChooser::SaveTarget& target);
    void setErrorMessage(std::optional<QString> message);
    void setNotice(std::optional<QString> notice);
    // A question about unsaved edits: it goes with the next edit.
    void askAboutUnsaved(const QString& question);
    void forgetQuestion();
    // What the command asks before it drops unsaved edits.
    QString discardQuestion(Discarding by) const;
    // The stream goes: the editor with its edits, and the layouts that lived only for it.
    void streamEnding();
    // Without a game: layouts saved for the stream that no file keeps.
    bool streamLayoutsAtRisk() const;
    void sayIfFull(bool added);
    void setRenameText(std::optional<QString> draft);
    void updateLists();
    // The edited layout's model, when there is one.
    const KeymapEditorModel* currentModel() const;
    int activeLayoutIndexValue() const noexcept { return static_cast<int>(activeLayoutIndex_); }
    int inputModeValue() const noexcept { return static_cast<int>(inputMode_); }

    const std::optional<std::string> package_;
    const std::optional<ProfileStore> store_;
    KeymapFileChooser& chooser_;
    std::optional<GameKeymaps> activeKeymaps_;
    bool loading_ = false;
    // Set while the default plays in place of a game file that does not read.
    std::optional<QString> unreadable_;
    bool editWhenLoaded_ = false;
    std::size_t activeLayoutIndex_ = 0;
    InputMode inputMode_ = InputMode::phoneGamepad;
    std::optional<GameKeymapsEditorModel> editor_;
    Capture capture_;
    std::optional<QString> errorMessage_;
    // The last export's failure, which the next export that succeeds takes away.
    std::optional<QString> exportFailure_;
    std::optional<QString> notice_;
    bool unsavedAsked_ = false;
    // Without a game: layouts saved for the stream since it began, lost when it ends.
    bool streamLayoutsChanged_ = false;
    // Without a game: what the last export that succeeded wrote, which keeps the same layouts.
    std::optional<GameKeymaps> exported_;
    bool discardArmed_ = false;
    // The command asked about, which its next request carries out.
    std::optional<Discarding> armed_;
    std::optional<QString> renameDraft_;
    std::optional<LayoutToast> layoutToast_;
    Apply onApply_;
    std::function<void()> onToggleRequest_;
    LayoutRequest onLayoutRequest_;
    // Each opening of the editor is a session; file answers of another one are dropped.
    std::uint64_t session_ = 0;
    std::uint64_t importRequest_ = 0;
    bool saving_ = false;
    RowListModel* layouts_;
    RowListModel* actions_;
};

}  // namespace qm
