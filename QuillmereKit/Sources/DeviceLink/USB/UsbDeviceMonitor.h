#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <vector>

#include "DeviceLink/USB/UsbAdbDevice.h"

namespace qm {

using UsbEventHandler = std::function<void(const UsbDeviceEvent&)>;

// A running watch of USB; dropping it ends the watch, after which the handler is not called.
class UsbEventSubscription {
public:
    virtual ~UsbEventSubscription() = default;
};

// Starts a watch that tells `handler` of ADB interfaces: first those already attached, before
// it returns, then every attach and detach, one at a time.
using UsbEventSource = std::function<std::unique_ptr<UsbEventSubscription>(UsbEventHandler)>;

// The ADB interfaces a watch has reported attached and not yet detached.
class UsbKnownInterfaces {
public:
    // True when the interface is new and so to be reported.
    bool insert(std::uint64_t interfaceID) { return ids_.insert(interfaceID).second; }
    // Forgets the interfaces of one device; returns those to report detached.
    std::vector<std::uint64_t> removeDevice(std::uint64_t deviceKey);
    // The interfaces known of one device.
    std::vector<std::uint64_t> ofDevice(std::uint64_t deviceKey) const;
    // Forgets the interfaces not in `present`; returns those to report detached.
    std::vector<std::uint64_t> retainOnly(const std::set<std::uint64_t>& present);

private:
    std::set<std::uint64_t> ids_;
};

// Watches USB through libusb on a "usb.monitor" thread: hotplug callbacks where the platform
// has them, otherwise a rescan every `rescanInterval`. Without USB (no bus, no permission to
// list it) a watch reports nothing.
class UsbDeviceMonitor {
public:
    static constexpr std::chrono::milliseconds defaultRescanInterval{1000};

    // `useHotplug` false rescans even where hotplug callbacks exist.
    explicit UsbDeviceMonitor(std::chrono::milliseconds rescanInterval = defaultRescanInterval,
                              bool useHotplug = true)
        : rescanInterval_(rescanInterval), useHotplug_(useHotplug) {}

    std::unique_ptr<UsbEventSubscription> events(UsbEventHandler handler) const;

    // events() of a new monitor each time.
    static UsbEventSource source(std::chrono::milliseconds rescanInterval = defaultRescanInterval);

private:
    std::chrono::milliseconds rescanInterval_;
    bool useHotplug_;
};

}  // namespace qm
