#pragma once

#include <memory>
#include <optional>
#include <span>
#include <string>

#include <libusb.h>

namespace qm::libusb {

struct ContextDeleter {
    void operator()(libusb_context* context) const noexcept { libusb_exit(context); }
};
struct HandleDeleter {
    void operator()(libusb_device_handle* handle) const noexcept { libusb_close(handle); }
};
struct TransferDeleter {
    void operator()(libusb_transfer* transfer) const noexcept { libusb_free_transfer(transfer); }
};
struct ConfigDeleter {
    void operator()(libusb_config_descriptor* config) const noexcept {
        libusb_free_config_descriptor(config);
    }
};

using Context = std::unique_ptr<libusb_context, ContextDeleter>;
using DeviceHandle = std::unique_ptr<libusb_device_handle, HandleDeleter>;
using Transfer = std::unique_ptr<libusb_transfer, TransferDeleter>;
using ConfigDescriptor = std::unique_ptr<libusb_config_descriptor, ConfigDeleter>;

// A context of its own, or the libusb error code when there is no USB to use.
struct ContextResult {
    Context context;
    int error = LIBUSB_SUCCESS;
};
ContextResult makeContext();

// The devices attached when it was made, each referenced until it goes.
class DeviceList {
public:
    explicit DeviceList(libusb_context* context);
    ~DeviceList();
    DeviceList(const DeviceList&) = delete;
    DeviceList& operator=(const DeviceList&) = delete;

    std::span<libusb_device* const> devices() const noexcept { return {list_, count_}; }
    // False when libusb could not list the devices: an empty list then says nothing.
    bool ok() const noexcept { return ok_; }

private:
    libusb_device** list_ = nullptr;
    std::size_t count_ = 0;
    bool ok_ = false;
};

ConfigDescriptor activeConfig(libusb_device* device);

// "LIBUSB_ERROR_ACCESS (-3)".
std::string describe(int code);

}  // namespace qm::libusb
