#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace qm {

// The strings a USB device names itself by; absent where it gives none. UTF-8.
struct UsbDeviceStrings {
    std::optional<std::string> serial;
    std::optional<std::string> manufacturer;
    std::optional<std::string> product;
};

// An attached phone's ADB interface.
struct UsbAdbDevice {
    UsbAdbDevice() = default;
    UsbAdbDevice(std::uint64_t interfaceID_, std::string serial_,
                 std::string productName_ = "Android", std::string manufacturer_ = {})
        : interfaceID(interfaceID_),
          serial(std::move(serial_)),
          productName(std::move(productName_)),
          manufacturer(std::move(manufacturer_)) {}

    std::uint64_t interfaceID = 0;  // the interface's identity within this process
    std::string serial;             // "" when the device reports none
    std::string productName = "Android";
    std::string manufacturer;  // "" when the device reports none

    // Fills in the defaults for strings the device does not report.
    static UsbAdbDevice make(std::uint64_t interfaceID, std::optional<std::string> serial,
                             std::optional<std::string> productName,
                             std::optional<std::string> manufacturer = std::nullopt);

    bool operator==(const UsbAdbDevice&) const = default;
};

// An interface's identity: where its device sits on the bus and which interface it is. The
// kernel gives a re-enumerated device a new address, so a phone plugged in again is new.
namespace UsbInterfaceID {
std::uint64_t make(std::uint8_t bus, std::uint8_t address, std::uint8_t configuration,
                   std::uint8_t interfaceNumber) noexcept;
// The same for every interface of one device.
std::uint64_t deviceKey(std::uint64_t interfaceID) noexcept;
std::uint8_t bus(std::uint64_t interfaceID) noexcept;
std::uint8_t address(std::uint64_t interfaceID) noexcept;
std::uint8_t interfaceNumber(std::uint64_t interfaceID) noexcept;
}  // namespace UsbInterfaceID

namespace UsbInterfaceClass {
// Vendor-specific class 255, subclass 66, protocol 1; a missing value never matches.
constexpr bool isAdb(std::optional<int> interfaceClass, std::optional<int> subclass,
                     std::optional<int> protocol) noexcept {
    return interfaceClass == 255 && subclass == 66 && protocol == 1;
}
}  // namespace UsbInterfaceClass

struct UsbDeviceEvent {
    struct Attached {
        UsbAdbDevice device;
        bool operator==(const Attached&) const = default;
    };
    struct Detached {
        std::uint64_t interfaceID = 0;
        bool operator==(const Detached&) const = default;
    };
    // USB cannot be used at all, so no phone will ever be reported; the reason says why.
    struct Unavailable {
        std::string reason;
        bool operator==(const Unavailable&) const = default;
    };

    std::variant<Attached, Detached, Unavailable> value;

    static UsbDeviceEvent attached(UsbAdbDevice device) { return {Attached{std::move(device)}}; }
    static UsbDeviceEvent detached(std::uint64_t interfaceID) { return {Detached{interfaceID}}; }
    static UsbDeviceEvent unavailable(std::string reason) {
        return {Unavailable{std::move(reason)}};
    }

    bool operator==(const UsbDeviceEvent&) const = default;
};

}  // namespace qm

template <>
struct std::hash<qm::UsbAdbDevice> {
    std::size_t operator()(const qm::UsbAdbDevice& device) const noexcept {
        std::size_t h = std::hash<std::uint64_t>{}(device.interfaceID);
        h = h * 31 + std::hash<std::string>{}(device.serial);
        h = h * 31 + std::hash<std::string>{}(device.productName);
        return h * 31 + std::hash<std::string>{}(device.manufacturer);
    }
};
