#pragma once

#include <string>

#include "InputRouter/KeymapProfile.h"

namespace qm {

// Built-in starting profiles, so a game plays with keys and mouse before the user maps it.
// Every call gives every action a fresh id.
struct ProfileTemplates {
    // A movement stick, a mouse look zone and six taps.
    static KeymapProfile shooter(std::string packageName);
    // A movement stick and eight taps; no look zone, so the cursor stays free.
    static KeymapProfile moba(std::string packageName);
};

}  // namespace qm
