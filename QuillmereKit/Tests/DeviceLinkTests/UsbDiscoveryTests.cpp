#include <chrono>
#include <mutex>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "DeviceLink/USB/UsbAdbTransport.h"
#include "DeviceLink/USB/UsbDeviceMonitor.h"
#include "Support/FakeUsb.h"

namespace qm {
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

// The build machines have no phone, and may have no USB bus at all: the real libusb path must
// then find nothing, fail nothing and stop cleanly.
TEST(UsbDiscovery, RealUsbWithoutAPhoneReportsNothing) {
    if (test::realAdbInterfacePresent()) {
        GTEST_SKIP() << "a phone's ADB interface is attached; the real USB path leaves it alone";
    }
    std::mutex mutex;
    std::vector<UsbDeviceEvent> events;
    for (bool hotplug : {true, false}) {
        // A watch has scanned once by the time it is returned.
        auto watch = UsbDeviceMonitor(20ms, hotplug).events([&](const UsbDeviceEvent& event) {
            std::lock_guard lock(mutex);
            events.push_back(event);
        });
    }
    std::lock_guard lock(mutex);
    EXPECT_THAT(events, IsEmpty());
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
}  // namespace qm
