#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "DeviceLink/USB/UsbAdbDevice.h"

namespace qm {

// An interface of a device's active configuration, as its first alternate setting describes it.
struct UsbInterfaceDescriptor {
    std::uint8_t number = 0;
    std::uint8_t interfaceClass = 0;
    std::uint8_t subclass = 0;
    std::uint8_t protocol = 0;
};

struct UsbConfiguration {
    std::uint8_t value = 0;
    std::vector<UsbInterfaceDescriptor> interfaces;
};

// One device on the bus, held for as long as its holder needs it.
class UsbBusDevice {
public:
    virtual ~UsbBusDevice() = default;

    virtual std::uint8_t busNumber() const = 0;
    virtual std::uint8_t address() const = 0;
    // None while it cannot be read, as while a phone switches its USB modes.
    virtual std::optional<UsbConfiguration> activeConfiguration() const = 0;
    // Readable without permission to open the device where the platform allows it.
    virtual UsbDeviceStrings strings() const = 0;
};

struct UsbHotplug {
    enum class Kind { arrived, left };

    Kind kind = Kind::arrived;
    std::shared_ptr<UsbBusDevice> device;
};

// The USB host as the device monitor sees it: libusb in the app, a fake in tests. One thread
// uses it; only interrupt() may come from another.
class UsbBus {
public:
    virtual ~UsbBus() = default;

    // The devices attached now; none when they could not be listed.
    virtual std::optional<std::vector<std::shared_ptr<UsbBusDevice>>> devices() = 0;
    // Starts reporting arrivals and departures to waitForHotplug(); false where the platform
    // cannot. Called before the first devices(), so that nothing attached between is missed.
    virtual bool watchHotplug() = 0;
    // Waits up to `timeout` and returns the arrivals and departures seen, oldest first. Returns
    // early when interrupted, also by an interrupt() that came before it.
    virtual std::vector<UsbHotplug> waitForHotplug(std::chrono::nanoseconds timeout) = 0;
    virtual void interrupt() noexcept = 0;
};

// A bus, or why there is none.
struct UsbBusResult {
    std::unique_ptr<UsbBus> bus;
    std::string unavailable;
};
using UsbBusOpener = std::function<UsbBusResult()>;

}  // namespace qm
