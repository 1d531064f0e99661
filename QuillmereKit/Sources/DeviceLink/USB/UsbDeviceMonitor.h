#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <vector>

#include "DeviceLink/USB/UsbAdbDevice.h"
#include "DeviceLink/USB/UsbBus.h"
#include "QuillmereCore/TaskClock.h"

namespace qm {

using UsbEventHandler = std::function<void(const UsbDeviceEvent&)>;

// A running watch of USB; dropping it ends the watch, after which the handler is not called.
class UsbEventSubscription {
public:
    virtual ~UsbEventSubscription() = default;
};

// Starts a watch that tells `handler` of ADB interfaces: first those already attached (or that
// USB is unavailable), before it returns, then every attach and detach, one at a time.
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

struct UsbMonitorOptions {
    // Between rescans, where the bus tells no arrivals or `useHotplug` is false.
    std::chrono::milliseconds rescanInterval{1000};
    bool useHotplug = true;
    // libusb when empty.
    UsbBusOpener openBus;
    // Paces the rescans and the retries; the bus waits on the same time.
    TaskClock clock;
};

// Watches USB on a "usb.monitor" thread: hotplug arrivals where the bus tells them, otherwise a
// rescan every `rescanInterval`. Without USB a watch reports that once and nothing more.
class UsbDeviceMonitor {
public:
    // A phone switching its USB modes arrives before its configuration can be read: it is read
    // again after each of these in turn, counted from the last try, before it is given up. A
    // first listing of the bus that fails is tried again the same way.
    static constexpr std::array<std::chrono::milliseconds, 5> arrivalRetryDelays{
        std::chrono::milliseconds(250), std::chrono::milliseconds(500),
        std::chrono::milliseconds(1000), std::chrono::milliseconds(2000),
        std::chrono::milliseconds(4000)};

    explicit UsbDeviceMonitor(UsbMonitorOptions options = {});

    std::unique_ptr<UsbEventSubscription> events(UsbEventHandler handler) const;

    // events() of a new monitor each time.
    static UsbEventSource source(UsbMonitorOptions options = {});

private:
    UsbMonitorOptions options_;
};

}  // namespace qm
