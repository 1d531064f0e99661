#include "QuillmereKit/HUD/ThermalSuggestions.h"

#include <algorithm>

namespace qm::ThermalSuggestions {

std::vector<StreamQuality> options(const ServerOptions& current) {
    std::vector<StreamQuality> result;
    const auto smaller =
        std::ranges::find_if(sizeLadder, [&](int size) { return size < current.maxSize; });
    if (smaller != sizeLadder.end()) {
        result.push_back({*smaller, current.maxFps});
    }
    if (current.maxFps == 0 || current.maxFps > reducedFps) {
        result.push_back({current.maxSize, reducedFps});
    }
    return result;
}

}  // namespace qm::ThermalSuggestions
