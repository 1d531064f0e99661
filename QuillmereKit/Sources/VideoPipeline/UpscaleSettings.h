#pragma once

#include <mutex>
#include <optional>
#include <string_view>

namespace qm {

// The user's choice of how the picture is enlarged.
struct UpscaleSettings {
    enum class Filter { bilinear, bicubic };
    static constexpr Filter allFilters[] = {Filter::bilinear, Filter::bicubic};

    UpscaleSettings() = default;
    // Sharpness is clamped into 0...1.
    UpscaleSettings(bool enabled, double sharpness, Filter filter);

    static const UpscaleSettings defaultSettings;  // off, 0.3, bicubic
    static const UpscaleSettings off;              // off, 0, bilinear

    bool enabled = false;
    double sharpness = 0;
    Filter filter = Filter::bilinear;

    bool operator==(const UpscaleSettings&) const = default;
};

// "bilinear", "bicubic"; any other text is no filter.
std::string_view rawValue(UpscaleSettings::Filter filter) noexcept;
std::optional<UpscaleSettings::Filter> filterFromRawValue(std::string_view raw) noexcept;

// The settings shared by a view and every renderer that draws into it: written on the main
// thread, read once per frame on the render thread.
class RenderSettings {
public:
    explicit RenderSettings(UpscaleSettings upscale = UpscaleSettings::off) : current_(upscale) {}

    UpscaleSettings upscale() const {
        std::lock_guard lock(mutex_);
        return current_;
    }
    void setUpscale(const UpscaleSettings& upscale) {
        std::lock_guard lock(mutex_);
        current_ = upscale;
    }

private:
    mutable std::mutex mutex_;
    UpscaleSettings current_;
};

}  // namespace qm
