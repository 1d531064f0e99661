#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "IPhoneMirror/CaptureDeviceSource.h"

namespace qm {

// An attached Apple device whose screen can be shown: a video input and its name.
struct IPhoneDevice {
    std::string id;
    std::string name;

    // The default choice of inputs to offer: one whose name says it is an iPhone, an iPad or an
    // iOS device (as a UVC bridge names it), so that a webcam or a capture card never is.
    static bool isIOSScreen(const VideoInput& input);

    bool operator==(const IPhoneDevice&) const = default;
};

using VideoInputFilter = std::function<bool(const VideoInput&)>;

// The system's capture devices as iPhone screens. Main thread only.
struct ScreenCaptureDevices {
    ScreenCaptureDevices() = delete;

    // Capture devices need no switch here: always 0.
    static std::int32_t enable() noexcept { return 0; }
    // The inputs `offered` accepts, in the order the system lists them.
    static std::vector<IPhoneDevice> current(const CaptureDeviceSource& source,
                                             const VideoInputFilter& offered);
};

}  // namespace qm

template <>
struct std::hash<qm::IPhoneDevice> {
    std::size_t operator()(const qm::IPhoneDevice& device) const noexcept {
        const std::size_t id = std::hash<std::string>()(device.id);
        return id ^
               (std::hash<std::string>()(device.name) + 0x9e3779b97f4a7c15 + (id << 6) + (id >> 2));
    }
};
