#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "InputRouter/KeymapProfile.h"

namespace qm {

// Every layout of one game package; index 0 is the layout a stream starts with.
struct GameKeymaps {
    static constexpr std::size_t maxLayouts = 9;

    std::string packageName;
    std::vector<KeymapLayout> layouts;

    // One layout with a new id, the given name and no switch trigger around the profile.
    static GameKeymaps migrating(KeymapProfile profile, std::string name);

    std::optional<std::size_t> layoutIndex(const UUID& id) const noexcept;
    // The same keymaps, every layout's profile included, assigned to another package.
    GameKeymaps rebound(const std::string& package) const;

    bool operator==(const GameKeymaps&) const = default;
};

}  // namespace qm
