#include "GameKeymapsEditorModel.h"

#include <algorithm>
#include <utility>

#include "QuillmereCore/UnicodeText.h"

namespace qm {

namespace {

GameKeymapsEditorModel::Layout draft(const KeymapLayout& layout) {
    return {layout.id, layout.name, layout.switchTrigger, KeymapEditorModel(layout.profile)};
}

std::vector<GameKeymapsEditorModel::Layout> drafts(const std::vector<KeymapLayout>& layouts) {
    std::vector<GameKeymapsEditorModel::Layout> made;
    made.reserve(layouts.size());
    for (const KeymapLayout& layout : layouts) {
        made.push_back(draft(layout));
    }
    return made;
}

// Without hidden characters, trimmed and cut to the codec's length, counted as the codec counts;
// nothing when blank.
std::optional<std::string> cleanName(const std::string& name) {
    const std::string text = UnicodeText::withoutHiddenCharacters(name);
    const std::string_view kept = UnicodeText::trimmed(UnicodeText::leadingCharacters(
        text, KeymapLayout::maxNameLength, KeymapLayout::maxNameBytes));
    if (kept.empty()) {
        return std::nullopt;
    }
    return std::string(kept);
}

}  // namespace

GameKeymapsEditorModel::GameKeymapsEditorModel(GameKeymaps keymaps, std::size_t editing)
    : packageName_(keymaps.packageName),
      layouts_(drafts(keymaps.layouts)),
      editedIndex_(editing < layouts_.size() ? editing : 0),
      original_(std::move(keymaps)) {}

GameKeymaps GameKeymapsEditorModel::keymaps() const {
    GameKeymaps keymaps;
    keymaps.packageName = packageName_;
    keymaps.layouts.reserve(layouts_.size());
    for (const Layout& layout : layouts_) {
        keymaps.layouts.push_back(
            KeymapLayout{layout.id, layout.name, layout.switchTrigger, layout.editor.profile()});
    }
    return keymaps;
}

void GameKeymapsEditorModel::edit(std::size_t index) {
    if (index < layouts_.size()) {
        editedIndex_ = index;
    }
}

std::optional<std::size_t> GameKeymapsEditorModel::addLayout(const std::string& name,
                                                             bool copyingCurrent) {
    if (!canAddLayout() || layouts_.empty()) {
        return std::nullopt;
    }
    std::optional<std::string> cleaned = cleanName(name);
    if (!cleaned) {
        return std::nullopt;
    }
    const KeymapProfile& source = current().profile();
    KeymapProfile profile(source.packageName, source.orientation, {});
    profile.version = source.version;
    if (copyingCurrent) {
        profile.showLabels = source.showLabels;
        for (const KeymapAction& action : source.actions) {
            profile.actions.push_back({UUID::random(), action.kind});
        }
    }
    layouts_.push_back(
        {UUID::random(), std::move(*cleaned), std::nullopt, KeymapEditorModel(std::move(profile))});
    editedIndex_ = layouts_.size() - 1;
    return editedIndex_;
}

bool GameKeymapsEditorModel::rename(std::size_t index, const std::string& name) {
    if (index >= layouts_.size()) {
        return false;
    }
    std::optional<std::string> cleaned = cleanName(name);
    if (!cleaned) {
        return false;
    }
    layouts_[index].name = std::move(*cleaned);
    return true;
}

void GameKeymapsEditorModel::deleteLayout(std::size_t index) {
    if (!canDeleteLayout() || index >= layouts_.size()) {
        return;
    }
    layouts_.erase(layouts_.begin() + static_cast<std::ptrdiff_t>(index));
    // The same layout stays edited; when the edited last one went, the new last one is.
    if (editedIndex_ > index || editedIndex_ == layouts_.size()) {
        --editedIndex_;
    }
}

void GameKeymapsEditorModel::makeMain(std::size_t index) {
    if (index == 0 || index >= layouts_.size()) {
        return;
    }
    const UUID edited = currentLayout().id;
    std::rotate(layouts_.begin(), layouts_.begin() + static_cast<std::ptrdiff_t>(index),
                layouts_.begin() + static_cast<std::ptrdiff_t>(index) + 1);
    const auto found = std::ranges::find(layouts_, edited, &Layout::id);
    editedIndex_ = static_cast<std::size_t>(found - layouts_.begin());
}

std::optional<std::size_t> GameKeymapsEditorModel::setSwitchTrigger(std::optional<Trigger> trigger,
                                                                    std::size_t index) {
    if (index >= layouts_.size()) {
        return std::nullopt;
    }
    std::optional<std::size_t> loser;
    if (trigger) {
        for (std::size_t i = 0; i < layouts_.size(); ++i) {
            if (i != index && layouts_[i].switchTrigger == trigger) {
                layouts_[i].switchTrigger.reset();
                loser = i;
                break;
            }
        }
    }
    layouts_[index].switchTrigger = trigger;
    return loser;
}

void GameKeymapsEditorModel::applyImport(const GameKeymaps& keymaps) {
    if (keymaps.layouts.empty()) {
        return;
    }
    layouts_ = drafts(keymaps.rebound(packageName_).layouts);
    editedIndex_ = 0;
}

}  // namespace qm
