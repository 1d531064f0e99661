#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

#include "DeviceLink/USB/UsbAdbDevice.h"
#include "QuillmereCore/Bytes.h"

namespace qm {

// Where a USB device's name comes from. The kernel reads a device's strings when it arrives and
// lists them in sysfs for anyone to read, so a phone is named before this user may open it;
// the device's own string descriptors, which need it opened, stand in where sysfs has nothing.
namespace UsbIdentity {

inline constexpr const char* sysfsDevices = "/sys/bus/usb/devices";

// The kernel's name of a device: "usb<bus>" for a root hub, else "<bus>-<port>.<port>...".
std::string sysfsName(std::uint8_t bus, std::span<const std::uint8_t> ports);

// The strings under the entry `name` in `devicesDir`, as UTF-8. Nothing when the entry is not
// the device at `bus` and `address` (another device took its port), or cannot be read.
UsbDeviceStrings fromSysfs(const std::filesystem::path& devicesDir, const std::string& name,
                           std::uint8_t bus, std::uint8_t address);

// The text of a string descriptor (UTF-16LE after its two header bytes) as UTF-8; none when
// the bytes are not a string descriptor.
std::optional<std::string> fromStringDescriptor(ByteView descriptor);

}  // namespace UsbIdentity

}  // namespace qm
