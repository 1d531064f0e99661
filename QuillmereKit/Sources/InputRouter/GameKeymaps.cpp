#include "InputRouter/GameKeymaps.h"

#include <utility>

namespace qm {

GameKeymaps GameKeymaps::migrating(KeymapProfile profile, std::string name) {
    GameKeymaps keymaps;
    keymaps.packageName = profile.packageName;
    keymaps.layouts.push_back(
        KeymapLayout{UUID::random(), std::move(name), std::nullopt, std::move(profile)});
    return keymaps;
}

std::optional<std::size_t> GameKeymaps::layoutIndex(const UUID& id) const noexcept {
    for (std::size_t i = 0; i < layouts.size(); ++i) {
        if (layouts[i].id == id) {
            return i;
        }
    }
    return std::nullopt;
}

GameKeymaps GameKeymaps::rebound(const std::string& package) const {
    GameKeymaps copy = *this;
    copy.packageName = package;
    for (KeymapLayout& layout : copy.layouts) {
        layout.profile.packageName = package;
    }
    return copy;
}

}  // namespace qm
