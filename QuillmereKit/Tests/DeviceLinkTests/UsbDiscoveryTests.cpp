#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "DeviceLink/USB/UsbAdbTransport.h"
#include "DeviceLink/USB/UsbDeviceMonitor.h"
#include "DeviceLink/USB/UsbIdentity.h"
#include "Support/FakeUsbBus.h"
#include "Support/Waiting.h"

namespace qm::test {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;

TEST(UsbDiscovery, OnlyClass255Subclass66Protocol1IsAdb) {
    EXPECT_TRUE(UsbInterfaceClass::isAdb(255, 66, 1));
    EXPECT_FALSE(UsbInterfaceClass::isAdb(255, 66, 2));  // fastboot's neighbour
    EXPECT_FALSE(UsbInterfaceClass::isAdb(255, 67, 1));
    EXPECT_FALSE(UsbInterfaceClass::isAdb(std::nullopt, 66, 1));
    EXPECT_FALSE(UsbInterfaceClass::isAdb(255, 66, std::nullopt));
}

TEST(UsbDiscovery, MissingStringsGetTheirDefaults) {
    EXPECT_EQ(UsbAdbDevice::make(9, std::nullopt, std::nullopt), (UsbAdbDevice{9, "", "Android"}));
    EXPECT_EQ(UsbAdbDevice::make(9, "R5C", "Pixel 8"), (UsbAdbDevice{9, "R5C", "Pixel 8"}));
}

TEST(UsbDiscovery, InterfaceIDsKeepTheirPartsAndGroupByDevice) {
    const std::uint64_t adb = UsbInterfaceID::make(3, 17, 1, 2);
    const std::uint64_t mtp = UsbInterfaceID::make(3, 17, 1, 0);
    EXPECT_EQ(UsbInterfaceID::bus(adb), 3);
    EXPECT_EQ(UsbInterfaceID::address(adb), 17);
    EXPECT_EQ(UsbInterfaceID::interfaceNumber(adb), 2);
    EXPECT_EQ(UsbInterfaceID::deviceKey(adb), UsbInterfaceID::deviceKey(mtp));
    EXPECT_NE(UsbInterfaceID::deviceKey(adb),
              UsbInterfaceID::deviceKey(UsbInterfaceID::make(3, 18, 1, 2)));
}

TEST(UsbDiscovery, KnownInterfacesAreReportedOnceAndForgottenWithTheirDevice) {
    UsbKnownInterfaces known;
    const std::uint64_t a = UsbInterfaceID::make(1, 5, 1, 1);
    const std::uint64_t b = UsbInterfaceID::make(1, 6, 1, 1);
    EXPECT_TRUE(known.insert(a));
    EXPECT_FALSE(known.insert(a));
    EXPECT_TRUE(known.insert(b));
    EXPECT_THAT(known.ofDevice(UsbInterfaceID::deviceKey(b)), ElementsAre(b));
    EXPECT_THAT(known.removeDevice(UsbInterfaceID::deviceKey(UsbInterfaceID::make(1, 9, 0, 0))),
                IsEmpty());
    EXPECT_THAT(known.removeDevice(UsbInterfaceID::deviceKey(a)), ElementsAre(a));
    EXPECT_TRUE(known.insert(a));  // plugged in again with the same identity
    EXPECT_THAT(known.retainOnly({a}), UnorderedElementsAre(b));
    EXPECT_THAT(known.retainOnly({a}), IsEmpty());
}

// Every event one watch heard, in order.
class EventLog {
public:
    UsbEventHandler handler() {
        return [this](const UsbDeviceEvent& event) {
            std::lock_guard lock(mutex_);
            events_.push_back(event);
        };
    }
    std::vector<UsbDeviceEvent> events() const {
        std::lock_guard lock(mutex_);
        return events_;
    }
    bool reaches(std::size_t count) const {
        return eventually([&] { return events().size() >= count; });
    }

private:
    mutable std::mutex mutex_;
    std::vector<UsbDeviceEvent> events_;
};

FakeUsbBus::Device phoneAt(std::uint8_t address, std::vector<UsbInterfaceDescriptor> interfaces,
                           UsbDeviceStrings strings = {"1A2B", "Google", "Pixel 8"}) {
    return {1, address, 1, std::move(interfaces), std::move(strings), true, nullptr};
}

UsbDeviceEvent attachedAt(std::uint8_t address, std::uint8_t interfaceNumber,
                          UsbAdbDevice identity = {0, "1A2B", "Pixel 8", "Google"}) {
    identity.interfaceID = UsbInterfaceID::make(1, address, 1, interfaceNumber);
    return UsbDeviceEvent::attached(identity);
}

UsbDeviceEvent detachedAt(std::uint8_t address, std::uint8_t interfaceNumber) {
    return UsbDeviceEvent::detached(UsbInterfaceID::make(1, address, 1, interfaceNumber));
}

const std::vector<UsbInterfaceDescriptor> keyboard{{0, 3, 1, 1}};

TEST(UsbDeviceMonitor, DevicesAlreadyAttachedAreReportedBeforeTheWatchReturns) {
    for (bool hotplug : {true, false}) {
        FakeUsbBus bus;
        if (!hotplug) {
            bus.withoutHotplug();
        }
        // A composite phone: its fastboot-like neighbour (protocol 2) is no ADB interface.
        bus.plug(phoneAt(3, {{0, 6, 1, 1}, {1, 255, 66, 2}, {2, 255, 66, 1}}));
        bus.plug(phoneAt(4, keyboard));
        bus.plug(phoneAt(5, mtpAndAdb(), {}));
        EventLog log;
        auto watch = UsbDeviceMonitor(bus.monitorOptions()).events(log.handler());
        EXPECT_THAT(log.events(), ElementsAre(attachedAt(3, 2), attachedAt(5, 1, {0, ""})))
            << hotplug;
    }
}

TEST(UsbDeviceMonitor, HotplugTellsEachArrivalAndDepartureOnce) {
    FakeUsbBus bus;
    EventLog log;
    auto watch = UsbDeviceMonitor(bus.monitorOptions()).events(log.handler());
    bus.plug(phoneAt(5, mtpAndAdb()));
    bus.plug(phoneAt(6, keyboard));
    bus.unplug(1, 6);
    bus.unplug(1, 5);
    bus.plug(phoneAt(5, mtpAndAdb()));  // the same identity again
    bus.plug(phoneAt(7, mtpAndAdb(2)));
    ASSERT_TRUE(log.reaches(4));
    EXPECT_THAT(log.events(), ElementsAre(attachedAt(5, 1), detachedAt(5, 1), attachedAt(5, 1),
                                          attachedAt(7, 2)));
}

// A phone switching its USB modes arrives before its configuration can be read; the bus may
// fail to list the devices already there.
TEST(UsbDeviceMonitor, UnreadableArrivalsAndAFailedFirstListingAreTriedAgainOverTheNextSeconds) {
    FakeUsbBus bus;
    bus.plug(phoneAt(4, mtpAndAdb()));
    bus.failListings(1);
    EventLog log;
    auto watch = UsbDeviceMonitor(bus.monitorOptions()).events(log.handler());
    EXPECT_THAT(log.events(), IsEmpty());
    const auto waitUntil = [&](std::chrono::nanoseconds time) {
        bus.runUntil(time);
        return eventually([&] {
            return bus.clock().parked() && bus.clock().nowNanos() == std::uint64_t(time.count());
        });
    };
    // Listed again after the first delay, though nothing else is due then.
    ASSERT_TRUE(waitUntil(250ms));
    EXPECT_THAT(log.events(), ElementsAre(attachedAt(4, 1)));

    FakeUsbBus::Device unreadable = phoneAt(0, mtpAndAdb());
    unreadable.readable = false;
    const auto readOnce = [&](std::uint8_t address) {
        return eventually([&] { return bus.configurationReads(1, address) == 1; });
    };
    for (std::uint8_t address : {5, 6, 7, 7}) {
        // The second 7: gone before it could be read, and back at the same address.
        bus.unplug(1, address);
        unreadable.address = address;
        bus.plug(unreadable);
        ASSERT_TRUE(readOnce(address));
    }

    ASSERT_TRUE(waitUntil(1s));
    for (std::uint8_t address : {5, 7}) {
        EXPECT_EQ(bus.configurationReads(1, address), 3u);  // on arrival, 0.25 s and 0.75 s later
        bus.setReadable(1, address, true);
    }
    ASSERT_TRUE(waitUntil(2s));
    EXPECT_THAT(log.events(), ElementsAre(attachedAt(4, 1), attachedAt(5, 1), attachedAt(7, 1)));

    // One that stays unreadable is given up after the last retry.
    ASSERT_TRUE(waitUntil(60s));
    EXPECT_EQ(bus.configurationReads(1, 6), 1 + UsbDeviceMonitor::arrivalRetryDelays.size());
    EXPECT_EQ(log.events().size(), 3u);
}

TEST(UsbDeviceMonitor, RescansFindArrivalsAndDeparturesAndKeepUnreadableDevices) {
    FakeUsbBus bus;
    bus.withoutHotplug();
    bus.plug(phoneAt(5, mtpAndAdb()));
    EventLog log;
    auto watch = UsbDeviceMonitor(bus.monitorOptions()).events(log.handler());
    bus.setReadable(1, 5, false);
    bus.plug(phoneAt(6, mtpAndAdb()));
    bus.runUntil(1s);
    ASSERT_TRUE(log.reaches(2));
    bus.unplug(1, 5);
    bus.runUntil(2s);
    ASSERT_TRUE(log.reaches(3));
    EXPECT_THAT(log.events(), ElementsAre(attachedAt(5, 1), attachedAt(6, 1), detachedAt(5, 1)));
}

TEST(UsbDeviceMonitor, WithoutUsbTheWatchSaysSoOnceBeforeItReturns) {
    FakeUsbBus bus;
    bus.makeUnavailable("/dev/bus/usb is missing");
    EventLog log;
    auto watch = UsbDeviceMonitor(bus.monitorOptions()).events(log.handler());
    EXPECT_THAT(log.events(), ElementsAre(UsbDeviceEvent::unavailable("/dev/bus/usb is missing")));
}

TEST(UsbIdentity, SysfsNamesFollowThePortPath) {
    const std::vector<std::uint8_t> none, one{4}, hubbed{1, 3, 2};
    EXPECT_EQ(UsbIdentity::sysfsName(2, none), "usb2");
    EXPECT_EQ(UsbIdentity::sysfsName(1, one), "1-4");
    EXPECT_EQ(UsbIdentity::sysfsName(3, hubbed), "3-1.3.2");
}

TEST(UsbIdentity, SysfsStringsAreTheDevicesOwnAndUtf8) {
    const auto dir =
        std::filesystem::temp_directory_path() / ("qm-sysfs-" + std::to_string(::getpid()));
    const auto write = [&](const std::string& name, const char* attribute,
                           const std::string& text) {
        std::filesystem::create_directories(dir / name);
        std::ofstream(dir / name / attribute) << text;
    };
    write("1-4", "busnum", "1\n");
    write("1-4", "devnum", "17\n");
    write("1-4", "manufacturer", "Xiaomi\n");
    write("1-4", "product", "小米 13 Ultra\n");  // no serial: the device gives none
    EXPECT_EQ(UsbIdentity::fromSysfs(dir, "1-4", 1, 17).product, "小米 13 Ultra");
    EXPECT_EQ(UsbIdentity::fromSysfs(dir, "1-4", 1, 17).manufacturer, "Xiaomi");
    EXPECT_EQ(UsbIdentity::fromSysfs(dir, "1-4", 1, 17).serial, std::nullopt);
    // Another device on that port now, or no entry at all: nothing, and the descriptors decide.
    EXPECT_EQ(UsbIdentity::fromSysfs(dir, "1-4", 1, 18).product, std::nullopt);
    EXPECT_EQ(UsbIdentity::fromSysfs(dir, "1-5", 1, 17).product, std::nullopt);
    std::filesystem::remove_all(dir);
}

TEST(UsbIdentity, StringDescriptorsAreUtf16) {
    struct Case {
        Bytes descriptor;
        std::optional<std::string> text;
    };
    const Case cases[] = {
        {{8, 3, 'Q', 0, 'M', 0, '1', 0}, "QM1"},
        {{6, 3, 0x0F, 0x5C, 0x73, 0x7C}, "小米"},
        {{6, 3, 0x3D, 0xD8, 0xF1, 0xDC}, "\xF0\x9F\x93\xB1"},  // a surrogate pair
        {{4, 3, 0x3D, 0xD8}, "\xEF\xBF\xBD"},                  // half of one
        {{40, 3, 'A', 0}, "A"},                                // longer than what came
        {{4, 1, 'A', 0}, std::nullopt},                        // not a string descriptor
        {{3}, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(UsbIdentity::fromStringDescriptor(c.descriptor), c.text);
    }
}

// The build machines have no phone, and may have no USB bus at all: the real libusb path must
// then find no phone, fail nothing and stop cleanly.
TEST(UsbDiscovery, RealUsbWithoutAPhoneReportsNothing) {
    if (test::realAdbInterfacePresent()) {
        GTEST_SKIP() << "a phone's ADB interface is attached; the real USB path leaves it alone";
    }
    EventLog log;
    for (bool hotplug : {true, false}) {
        // A watch has scanned once by the time it is returned.
        UsbMonitorOptions options;
        options.rescanInterval = 20ms;
        options.useHotplug = hotplug;
        auto watch = UsbDeviceMonitor(options).events(log.handler());
    }
    // Without a USB bus (as in a container) the watch says so, and only that.
    for (const UsbDeviceEvent& event : log.events()) {
        EXPECT_TRUE(std::holds_alternative<UsbDeviceEvent::Unavailable>(event.value));
    }
}

TEST(UsbDiscovery, RealUsbCannotOpenAnAbsentPhone) {
    try {
        UsbAdbTransport::open(UsbAdbDevice{UsbInterfaceID::make(250, 127, 1, 0), "", "Android"});
        FAIL() << "opened a phone that is not there";
    } catch (const UsbError& error) {
        EXPECT_EQ(error.kind(), UsbErrorKind::notFound);
    }
}

}  // namespace
}  // namespace qm::test
