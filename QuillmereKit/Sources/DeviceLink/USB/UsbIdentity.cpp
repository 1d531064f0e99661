#include "DeviceLink/USB/UsbIdentity.h"

#include <charconv>
#include <fstream>

#include "QuillmereCore/UnicodeText.h"

namespace qm::UsbIdentity {

namespace {

// The kernel keeps at most 126 UTF-16 units of a string, which UTF-8 holds in 378 bytes.
constexpr std::size_t attributeLimit = 1024;

std::optional<std::string> attribute(const std::filesystem::path& entry, const char* name) {
    std::ifstream file(entry / name, std::ios::binary);
    if (!file) {
        return std::nullopt;
    }
    std::string text(attributeLimit, '\0');
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(file.gcount()));
    if (text.ends_with('\n')) {
        text.pop_back();
    }
    return UnicodeText::decodeUTF8(asBytes(text));
}

std::optional<int> number(const std::filesystem::path& entry, const char* name) {
    const std::optional<std::string> text = attribute(entry, name);
    int value = 0;
    if (!text ||
        std::from_chars(text->data(), text->data() + text->size(), value).ec != std::errc{}) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

std::string sysfsName(std::uint8_t bus, std::span<const std::uint8_t> ports) {
    if (ports.empty()) {
        return "usb" + std::to_string(bus);
    }
    std::string name = std::to_string(bus) + "-";
    for (std::size_t i = 0; i < ports.size(); ++i) {
        if (i != 0) {
            name += '.';
        }
        name += std::to_string(ports[i]);
    }
    return name;
}

UsbDeviceStrings fromSysfs(const std::filesystem::path& devicesDir, const std::string& name,
                           std::uint8_t bus, std::uint8_t address) {
    const std::filesystem::path entry = devicesDir / name;
    if (number(entry, "busnum") != bus || number(entry, "devnum") != address) {
        return {};
    }
    return {attribute(entry, "serial"), attribute(entry, "manufacturer"),
            attribute(entry, "product")};
}

std::optional<std::string> fromStringDescriptor(ByteView descriptor) {
    constexpr std::uint8_t stringType = 3;
    if (descriptor.size() < 2 || descriptor[1] != stringType || descriptor[0] < 2) {
        return std::nullopt;
    }
    const std::size_t length = std::min<std::size_t>(descriptor[0], descriptor.size());
    return UnicodeText::decodeUTF16LE(descriptor.subspan(2, (length - 2) & ~std::size_t{1}));
}

}  // namespace qm::UsbIdentity
