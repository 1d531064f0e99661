#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace qm {

// An attached phone's ADB interface.
struct UsbAdbDevice {
    std::uint64_t registryID = 0;  // the interface's identity within this process
    std::string serial;            // "" when the device reports none
    std::string productName = "Android";

    bool operator==(const UsbAdbDevice&) const = default;
};

}  // namespace qm

template <>
struct std::hash<qm::UsbAdbDevice> {
    std::size_t operator()(const qm::UsbAdbDevice& device) const noexcept {
        std::size_t h = std::hash<std::uint64_t>{}(device.registryID);
        h = h * 31 + std::hash<std::string>{}(device.serial);
        return h * 31 + std::hash<std::string>{}(device.productName);
    }
};
