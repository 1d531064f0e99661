#include "DeviceLink/USB/UsbAdbDevice.h"

namespace qm {

UsbAdbDevice UsbAdbDevice::make(std::uint64_t interfaceID, std::optional<std::string> serial,
                                std::optional<std::string> productName,
                                std::optional<std::string> manufacturer) {
    return {interfaceID, std::move(serial).value_or(""), std::move(productName).value_or("Android"),
            std::move(manufacturer).value_or("")};
}

namespace UsbInterfaceID {

std::uint64_t make(std::uint8_t bus, std::uint8_t address, std::uint8_t configuration,
                   std::uint8_t interfaceNumber) noexcept {
    return std::uint64_t{bus} << 24 | std::uint64_t{address} << 16 |
           std::uint64_t{configuration} << 8 | interfaceNumber;
}

std::uint64_t deviceKey(std::uint64_t interfaceID) noexcept {
    return interfaceID >> 16;
}

std::uint8_t bus(std::uint64_t interfaceID) noexcept {
    return static_cast<std::uint8_t>(interfaceID >> 24);
}

std::uint8_t address(std::uint64_t interfaceID) noexcept {
    return static_cast<std::uint8_t>(interfaceID >> 16);
}

std::uint8_t interfaceNumber(std::uint64_t interfaceID) noexcept {
    return static_cast<std::uint8_t>(interfaceID);
}

}  // namespace UsbInterfaceID

}  // namespace qm
