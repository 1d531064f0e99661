#pragma once

#include <array>
#include <vector>

#include "QuillmereKit/Session/StreamQuality.h"
#include "ServerProtocol/ServerOptions.h"

// What the thermal banner offers when the phone overheats. Pure; any thread.
namespace qm::ThermalSuggestions {

// Largest first.
inline constexpr std::array<int, 4> sizeLadder = {1600, 1280, 1024, 800};
inline constexpr int reducedFps = 30;

// The next smaller size at the current cap, then the current size at 30 fps; each only when it
// is lighter than the current options, so the list may be empty.
std::vector<StreamQuality> options(const ServerOptions& current);

}  // namespace qm::ThermalSuggestions
