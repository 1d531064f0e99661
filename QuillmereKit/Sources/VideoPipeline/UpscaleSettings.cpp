#include "VideoPipeline/UpscaleSettings.h"

#include <algorithm>
#include <cmath>

namespace qm {

UpscaleSettings::UpscaleSettings(bool enabledIn, double sharpnessIn, Filter filterIn)
    : enabled(enabledIn),
      sharpness(std::isnan(sharpnessIn) ? 0.0 : std::clamp(sharpnessIn, 0.0, 1.0)),
      filter(filterIn) {}

const UpscaleSettings UpscaleSettings::defaultSettings{false, 0.3, Filter::bicubic};
const UpscaleSettings UpscaleSettings::off{false, 0.0, Filter::bilinear};

std::string_view rawValue(UpscaleSettings::Filter filter) noexcept {
    return filter == UpscaleSettings::Filter::bicubic ? "bicubic" : "bilinear";
}

std::optional<UpscaleSettings::Filter> filterFromRawValue(std::string_view raw) noexcept {
    for (UpscaleSettings::Filter filter : UpscaleSettings::allFilters) {
        if (rawValue(filter) == raw) {
            return filter;
        }
    }
    return std::nullopt;
}

}  // namespace qm
