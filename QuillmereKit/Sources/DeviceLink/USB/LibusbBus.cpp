#include "DeviceLink/USB/LibusbBus.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <new>
#include <utility>

#include "DeviceLink/USB/Libusb.h"
#include "DeviceLink/USB/UsbIdentity.h"

namespace qm {

namespace {

using SharedContext = std::shared_ptr<libusb_context>;

std::optional<std::string> descriptorString(libusb_device_handle* handle, std::uint8_t index,
                                            std::uint16_t language) {
    std::array<unsigned char, 255> bytes{};
    const int n = libusb_get_string_descriptor(handle, index, language, bytes.data(),
                                               static_cast<int>(bytes.size()));
    if (n <= 0) {
        return std::nullopt;
    }
    return UsbIdentity::fromStringDescriptor(ByteView(bytes.data(), static_cast<std::size_t>(n)));
}

class Device final : public UsbBusDevice {
public:
    Device(SharedContext context, libusb_device* device)
        : context_(std::move(context)), device_(libusb_ref_device(device)) {}
    ~Device() override { libusb_unref_device(device_); }
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    std::uint8_t busNumber() const override { return libusb_get_bus_number(device_); }
    std::uint8_t address() const override { return libusb_get_device_address(device_); }

    std::optional<UsbConfiguration> activeConfiguration() const override {
        const libusb::ConfigDescriptor config = libusb::activeConfig(device_);
        if (!config) {
            return std::nullopt;
        }
        UsbConfiguration result{config->bConfigurationValue, {}};
        for (int i = 0; i < config->bNumInterfaces; ++i) {
            const libusb_interface& interface = config->interface[i];
            if (interface.num_altsetting < 1) {
                continue;
            }
            const libusb_interface_descriptor& d = interface.altsetting[0];
            result.interfaces.push_back({d.bInterfaceNumber, d.bInterfaceClass,
                                         d.bInterfaceSubClass, d.bInterfaceProtocol});
        }
        return result;
    }

    UsbDeviceStrings strings() const override {
        std::array<std::uint8_t, 7> ports{};  // USB allows hubs seven deep
        const int depth = libusb_get_port_numbers(device_, ports.data(), int(ports.size()));
        UsbDeviceStrings found;
        if (depth >= 0) {
            found = UsbIdentity::fromSysfs(
                UsbIdentity::sysfsDevices,
                UsbIdentity::sysfsName(busNumber(), std::span(ports.data(), std::size_t(depth))),
                busNumber(), address());
        }
        fillFromDescriptors(found);
        return found;
    }

private:
    // Needs the device opened, so only for what sysfs did not have and the device does.
    void fillFromDescriptors(UsbDeviceStrings& found) const {
        libusb_device_descriptor descriptor{};
        if (libusb_get_device_descriptor(device_, &descriptor) != LIBUSB_SUCCESS) {
            return;
        }
        const std::array<std::pair<std::optional<std::string>*, std::uint8_t>, 3> wanted{{
            {&found.serial, descriptor.iSerialNumber},
            {&found.manufacturer, descriptor.iManufacturer},
            {&found.product, descriptor.iProduct},
        }};
        const auto missing = [](const auto& entry) { return !*entry.first && entry.second != 0; };
        libusb_device_handle* raw = nullptr;
        if (std::none_of(wanted.begin(), wanted.end(), missing) ||
            libusb_open(device_, &raw) != LIBUSB_SUCCESS) {
            return;
        }
        const libusb::DeviceHandle handle(raw);
        // String 0 lists the languages; the device's first is the one it names itself in.
        std::array<unsigned char, 4> languages{};
        if (libusb_get_string_descriptor(raw, 0, 0, languages.data(), int(languages.size())) < 4) {
            return;
        }
        const auto language = static_cast<std::uint16_t>(languages[2] | languages[3] << 8);
        for (const auto& entry : wanted) {
            if (missing(entry)) {
                *entry.first = descriptorString(raw, entry.second, language);
            }
        }
    }

    const SharedContext context_;  // outlives the reference to the device
    libusb_device* const device_;
};

class Bus final : public UsbBus {
public:
    explicit Bus(SharedContext context) : context_(std::move(context)) {}
    ~Bus() override {
        if (callback_) {
            libusb_hotplug_deregister_callback(context_.get(), *callback_);
        }
    }
    Bus(const Bus&) = delete;
    Bus& operator=(const Bus&) = delete;

    std::optional<std::vector<std::shared_ptr<UsbBusDevice>>> devices() override {
        const libusb::DeviceList list(context_.get());
        if (!list.ok()) {
            return std::nullopt;
        }
        std::vector<std::shared_ptr<UsbBusDevice>> devices;
        for (libusb_device* device : list.devices()) {
            devices.push_back(std::make_shared<Device>(context_, device));
        }
        return devices;
    }

    bool watchHotplug() override {
        if (libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG) == 0) {
            return false;
        }
        libusb_hotplug_callback_handle handle = 0;
        if (libusb_hotplug_register_callback(
                context_.get(),
                static_cast<libusb_hotplug_event>(LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED |
                                                  LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT),
                static_cast<libusb_hotplug_flag>(0), LIBUSB_HOTPLUG_MATCH_ANY,
                LIBUSB_HOTPLUG_MATCH_ANY, LIBUSB_HOTPLUG_MATCH_ANY, &Bus::hotplugged, this,
                &handle) != LIBUSB_SUCCESS) {
            return false;
        }
        callback_ = handle;
        return true;
    }

    std::vector<UsbHotplug> waitForHotplug(std::chrono::nanoseconds timeout) override {
        const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(timeout).count();
        timeval tv{static_cast<time_t>(micros / 1'000'000),
                   static_cast<suseconds_t>(micros % 1'000'000)};
        libusb_handle_events_timeout_completed(context_.get(), &tv, nullptr);
        return std::exchange(pending_, {});
    }

    void interrupt() noexcept override { libusb_interrupt_event_handler(context_.get()); }

private:
    // Runs inside libusb's event handling, where no device I/O may happen: the watch reads the
    // device once waitForHotplug() has returned.
    static int LIBUSB_CALL hotplugged(libusb_context*, libusb_device* device,
                                      libusb_hotplug_event event, void* self) {
        auto& bus = *static_cast<Bus*>(self);
        try {
            bus.pending_.push_back({event == LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED
                                        ? UsbHotplug::Kind::arrived
                                        : UsbHotplug::Kind::left,
                                    std::make_shared<Device>(bus.context_, device)});
        } catch (const std::bad_alloc&) {
            // Lost like an event the kernel dropped; the phone is found when plugged in again.
        }
        return 0;
    }

    const SharedContext context_;
    std::optional<libusb_hotplug_callback_handle> callback_;
    std::vector<UsbHotplug> pending_;
};

}  // namespace

UsbBusResult LibusbBus::open() {
    // libusb built with udev starts without it and then simply finds nothing.
    std::error_code error;
    if (!std::filesystem::is_directory("/dev/bus/usb", error)) {
        return {nullptr, "/dev/bus/usb is missing"};
    }
    libusb::ContextResult made = libusb::makeContext();
    if (!made.context) {
        return {nullptr, "libusb cannot start: " + libusb::describe(made.error)};
    }
    return {std::make_unique<Bus>(SharedContext(made.context.release(), libusb::ContextDeleter{})),
            {}};
}

}  // namespace qm
