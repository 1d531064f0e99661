#include "DeviceLink/USB/Libusb.h"

#include <fmt/format.h>

namespace qm::libusb {

ContextResult makeContext() {
    libusb_context* context = nullptr;
    const int rc = libusb_init(&context);
    if (rc != LIBUSB_SUCCESS) {
        return {nullptr, rc};
    }
    return {Context(context), LIBUSB_SUCCESS};
}

DeviceList::DeviceList(libusb_context* context) {
    const ssize_t count = libusb_get_device_list(context, &list_);
    ok_ = count >= 0;
    count_ = count > 0 ? static_cast<std::size_t>(count) : 0;
}

DeviceList::~DeviceList() {
    if (list_ != nullptr) {
        libusb_free_device_list(list_, 1);
    }
}

ConfigDescriptor activeConfig(libusb_device* device) {
    libusb_config_descriptor* config = nullptr;
    if (libusb_get_active_config_descriptor(device, &config) != LIBUSB_SUCCESS) {
        return nullptr;
    }
    return ConfigDescriptor(config);
}

std::string describe(int code) {
    return fmt::format("{} ({})", libusb_error_name(code), code);
}

}  // namespace qm::libusb
