#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "DeviceLink/DeviceLink.h"
#include "DeviceLink/USB/UsbBus.h"
#include "Support/FakeUsb.h"
#include "Support/VirtualClock.h"

namespace qm::test {

// USB as libusb shows it to the device monitor: devices with their configurations and strings,
// arrivals and departures at the test's word, opens refused with libusb's own codes. Its waits
// run on a virtual clock that stands still until the test moves it on, so retries and rescans
// happen exactly when the test lets time pass.
class FakeUsbBus {
public:
    struct Device {
        std::uint8_t bus = 1;
        std::uint8_t address = 0;
        std::uint8_t configuration = 1;
        std::vector<UsbInterfaceDescriptor> interfaces;
        UsbDeviceStrings strings;
        bool readable = true;  // false: its configuration cannot be read
        // Answers on the ADB interface; none for a device that is no phone.
        std::shared_ptr<FakeUsbDevice> phone;
    };

    FakeUsbBus();
    ~FakeUsbBus();
    FakeUsbBus(const FakeUsbBus&) = delete;
    FakeUsbBus& operator=(const FakeUsbBus&) = delete;

    // Plugs a device in and tells the watches that listen for arrivals.
    void plug(Device device);
    // Pulls it out: its phone's session ends and the watches hear of it.
    void unplug(std::uint8_t bus, std::uint8_t address);
    void setReadable(std::uint8_t bus, std::uint8_t address, bool readable);
    // Opens of the device fail with this libusb code from now on; 0 lets them through again.
    void refuseOpens(std::uint8_t bus, std::uint8_t address, int libusbCode);
    // Watches started from now on find no USB, for this reason.
    void makeUnavailable(std::string reason);
    // Watches started from now on must rescan.
    void withoutHotplug();
    // The next `count` listings of the devices fail, as libusb's can.
    void failListings(std::size_t count);

    // Lets time run up to `nanos` from the start; waits due by then end.
    void runUntil(std::chrono::nanoseconds time);
    VirtualClock& clock() { return clock_; }
    UsbMonitorOptions monitorOptions();
    // Claims a phone's ADB interface as libusb would, through the real bulk transport.
    TransportOpener transports();

    std::size_t configurationReads(std::uint8_t bus, std::uint8_t address) const;
    std::size_t openAttempts(std::uint8_t bus, std::uint8_t address) const;

private:
    struct Entry;
    class BusDevice;
    class Watch;

    std::shared_ptr<Entry> find(std::uint8_t bus, std::uint8_t address) const;
    void tell(UsbHotplug::Kind kind, const std::shared_ptr<Entry>& entry);

    VirtualClock clock_{0, 0};
    mutable std::mutex mutex_;
    std::map<std::uint16_t, std::shared_ptr<Entry>> entries_;  // by bus and address
    std::vector<Watch*> watches_;
    std::optional<std::string> unavailable_;
    bool hotplug_ = true;
    std::size_t failingListings_ = 0;
};

// The interfaces of a phone in file-transfer mode with USB debugging on: MTP, then ADB.
std::vector<UsbInterfaceDescriptor> mtpAndAdb(std::uint8_t adbInterface = 1);

}  // namespace qm::test
