#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "InputRouter/GameKeymaps.h"
#include "KeymapEditorModel.h"

namespace qm {

// One opening of the keymap editor for a game: every layout as it is being edited and which one
// is shown. Keeps what the codec accepts: one to nine layouts, trimmed names of at most 40
// characters, a switch trigger on at most one layout, new ids for new layouts and copied actions.
// Operations given an index out of range change nothing. A value; GUI thread.
class GameKeymapsEditorModel {
public:
    struct Layout {
        UUID id;
        std::string name;
        std::optional<Trigger> switchTrigger;
        KeymapEditorModel editor;

        bool operator==(const Layout&) const = default;
    };

    // Starts on `editing`, or on the first layout when that is out of range.
    GameKeymapsEditorModel(GameKeymaps keymaps, std::size_t editing);

    const std::string& packageName() const noexcept { return packageName_; }
    const std::vector<Layout>& layouts() const noexcept { return layouts_; }
    std::size_t editedIndex() const noexcept { return editedIndex_; }
    const GameKeymaps& original() const noexcept { return original_; }

    // The edited layout; there is one unless the model was opened on keymaps without layouts.
    const Layout& currentLayout() const { return layouts_.at(editedIndex_); }
    const KeymapEditorModel& current() const { return currentLayout().editor; }
    KeymapEditorModel& current() { return layouts_.at(editedIndex_).editor; }

    bool canAddLayout() const noexcept { return layouts_.size() < GameKeymaps::maxLayouts; }
    bool canDeleteLayout() const noexcept { return layouts_.size() > 1; }
    GameKeymaps keymaps() const;
    // Selections and undo histories do not count: undoing every change makes it clean again.
    bool isDirty() const { return keymaps() != original_; }

    void edit(std::size_t index);
    // Appended and edited: empty (labels shown) or with copies of the edited layout's actions,
    // never with its switch trigger. Nothing with nine layouts or a blank name.
    std::optional<std::size_t> addLayout(const std::string& name, bool copyingCurrent);
    // False for a blank name.
    bool rename(std::size_t index, const std::string& name);
    // The last layout stays.
    void deleteLayout(std::size_t index);
    // Moves the layout to the front, where play starts.
    void makeMain(std::size_t index);
    // The index of the layout that held the trigger and lost it to this one.
    std::optional<std::size_t> setSwitchTrigger(std::optional<Trigger> trigger, std::size_t index);
    // Every layout replaced by the imported ones, rebound to this game; the first is edited.
    void applyImport(const GameKeymaps& keymaps);

    bool operator==(const GameKeymapsEditorModel&) const = default;

private:
    std::string packageName_;
    std::vector<Layout> layouts_;
    std::size_t editedIndex_ = 0;
    GameKeymaps original_;
};

}  // namespace qm
