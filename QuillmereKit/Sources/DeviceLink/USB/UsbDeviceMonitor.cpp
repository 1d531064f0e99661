#include "DeviceLink/USB/UsbDeviceMonitor.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <iterator>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include <pthread.h>

#include "DeviceLink/USB/Libusb.h"
#include "QuillmereCore/Log.h"

namespace qm {

std::vector<std::uint64_t> UsbKnownInterfaces::removeDevice(std::uint64_t deviceKey) {
    std::vector<std::uint64_t> removed;
    std::erase_if(ids_, [&](std::uint64_t id) {
        const bool match = UsbInterfaceID::deviceKey(id) == deviceKey;
        if (match) {
            removed.push_back(id);
        }
        return match;
    });
    return removed;
}

std::vector<std::uint64_t> UsbKnownInterfaces::ofDevice(std::uint64_t deviceKey) const {
    std::vector<std::uint64_t> ids;
    std::copy_if(ids_.begin(), ids_.end(), std::back_inserter(ids),
                 [&](std::uint64_t id) { return UsbInterfaceID::deviceKey(id) == deviceKey; });
    return ids;
}

std::vector<std::uint64_t> UsbKnownInterfaces::retainOnly(const std::set<std::uint64_t>& present) {
    std::vector<std::uint64_t> removed;
    std::erase_if(ids_, [&](std::uint64_t id) {
        const bool gone = !present.contains(id);
        if (gone) {
            removed.push_back(id);
        }
        return gone;
    });
    return removed;
}

namespace {

std::uint64_t deviceKeyOf(libusb_device* device) {
    return UsbInterfaceID::deviceKey(UsbInterfaceID::make(libusb_get_bus_number(device),
                                                          libusb_get_device_address(device), 0, 0));
}

// The interface IDs of the device's ADB interfaces; nothing when its configuration cannot be read.
std::optional<std::vector<std::uint64_t>> adbInterfacesOf(libusb_device* device) {
    std::vector<std::uint64_t> ids;
    const libusb::ConfigDescriptor config = libusb::activeConfig(device);
    if (!config) {
        return std::nullopt;
    }
    for (int i = 0; i < config->bNumInterfaces; ++i) {
        const libusb_interface& interface = config->interface[i];
        if (interface.num_altsetting < 1) {
            continue;
        }
        const libusb_interface_descriptor& d = interface.altsetting[0];
        if (UsbInterfaceClass::isAdb(d.bInterfaceClass, d.bInterfaceSubClass,
                                     d.bInterfaceProtocol)) {
            ids.push_back(UsbInterfaceID::make(libusb_get_bus_number(device),
                                               libusb_get_device_address(device),
                                               config->bConfigurationValue, d.bInterfaceNumber));
        }
    }
    return ids;
}

std::optional<std::string> stringDescriptor(libusb_device_handle* handle, std::uint8_t index) {
    if (index == 0) {
        return std::nullopt;
    }
    unsigned char text[256];
    const int n = libusb_get_string_descriptor_ascii(handle, index, text, sizeof text);
    if (n <= 0) {
        return std::nullopt;
    }
    return std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(n));
}

// Serial and product name need the device opened; without permission both are left out.
UsbAdbDevice describe(libusb_device* device, std::uint64_t interfaceID) {
    libusb_device_descriptor descriptor{};
    libusb_device_handle* raw = nullptr;
    if (libusb_get_device_descriptor(device, &descriptor) != LIBUSB_SUCCESS ||
        libusb_open(device, &raw) != LIBUSB_SUCCESS) {
        return UsbAdbDevice::make(interfaceID, std::nullopt, std::nullopt);
    }
    const libusb::DeviceHandle handle(raw);
    return UsbAdbDevice::make(interfaceID, stringDescriptor(raw, descriptor.iSerialNumber),
                              stringDescriptor(raw, descriptor.iProduct));
}

class MonitorSession final : public UsbEventSubscription {
public:
    MonitorSession(UsbEventHandler handler, std::chrono::milliseconds rescanInterval,
                   bool useHotplug)
        : handler_(std::move(handler)), rescanInterval_(rescanInterval), useHotplug_(useHotplug) {
        thread_ = std::thread([this] { run(); });
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [&] { return started_; });
    }

    ~MonitorSession() override {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
            if (context_ != nullptr) {
                libusb_interrupt_event_handler(context_);
            }
        }
        wake_.notify_all();
        thread_.join();
    }

private:
    struct HotplugEvent {
        libusb_hotplug_event event;
        libusb_device* device;  // referenced until handled
    };

    void run() {
        pthread_setname_np(pthread_self(), "usb.monitor");
        libusb::ContextResult made = libusb::makeContext();
        if (!made.context) {
            Log::usb().warn("USB is unavailable: {}", libusb::describe(made.error));
            signalStarted(nullptr);
            return;
        }
        libusb_context* context = made.context.get();
        libusb_hotplug_callback_handle callback = 0;
        const bool hotplug =
            useHotplug_ && libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG) != 0 &&
            libusb_hotplug_register_callback(
                context,
                static_cast<libusb_hotplug_event>(LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED |
                                                  LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT),
                static_cast<libusb_hotplug_flag>(0), LIBUSB_HOTPLUG_MATCH_ANY,
                LIBUSB_HOTPLUG_MATCH_ANY, LIBUSB_HOTPLUG_MATCH_ANY, &MonitorSession::hotplugged,
                this, &callback) == LIBUSB_SUCCESS;
        // Registered before the scan, so that nothing attached meanwhile is missed.
        rescan(context);
        signalStarted(context);
        while (!isStopping()) {
            if (hotplug) {
                timeval tv{0, 500'000};
                libusb_handle_events_timeout_completed(context, &tv, nullptr);
                handlePending();
            } else {
                std::unique_lock lock(mutex_);
                if (wake_.wait_for(lock, rescanInterval_, [&] { return stopping_; })) {
                    break;
                }
                lock.unlock();
                rescan(context);
            }
        }
        if (hotplug) {
            libusb_hotplug_deregister_callback(context, callback);
        }
        handlePending();  // only to drop the device references
        std::lock_guard lock(mutex_);
        context_ = nullptr;
    }

    void signalStarted(libusb_context* context) {
        {
            std::lock_guard lock(mutex_);
            context_ = context;
            started_ = true;
        }
        wake_.notify_all();
    }

    bool isStopping() {
        std::lock_guard lock(mutex_);
        return stopping_;
    }

    // Runs inside libusb's event handling on this thread; the work waits until that returns.
    static int LIBUSB_CALL hotplugged(libusb_context*, libusb_device* device,
                                      libusb_hotplug_event event, void* self) {
        static_cast<MonitorSession*>(self)->pending_.push_back({event, libusb_ref_device(device)});
        return 0;
    }

    void handlePending() {
        std::vector<HotplugEvent> pending = std::exchange(pending_, {});
        for (const HotplugEvent& event : pending) {
            if (!isStopping()) {
                if (event.event == LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED) {
                    attach(event.device,
                           adbInterfacesOf(event.device).value_or(std::vector<std::uint64_t>{}));
                } else {
                    detach(known_.removeDevice(deviceKeyOf(event.device)));
                }
            }
            libusb_unref_device(event.device);
        }
    }

    void rescan(libusb_context* context) {
        const libusb::DeviceList list(context);
        if (!list.ok()) {
            return;  // a failed listing is no proof that anything went
        }
        std::set<std::uint64_t> present;
        std::vector<std::pair<libusb_device*, std::vector<std::uint64_t>>> devices;
        for (libusb_device* device : list.devices()) {
            std::optional<std::vector<std::uint64_t>> read = adbInterfacesOf(device);
            if (!read) {
                // Still there, though unreadable just now: keep what we knew of it.
                const std::vector<std::uint64_t> known = known_.ofDevice(deviceKeyOf(device));
                present.insert(known.begin(), known.end());
                continue;
            }
            std::vector<std::uint64_t> ids = std::move(*read);
            if (!ids.empty()) {
                present.insert(ids.begin(), ids.end());
                devices.emplace_back(device, std::move(ids));
            }
        }
        detach(known_.retainOnly(present));
        for (const auto& [device, ids] : devices) {
            attach(device, ids);
        }
    }

    void attach(libusb_device* device, const std::vector<std::uint64_t>& ids) {
        for (std::uint64_t id : ids) {
            if (known_.insert(id)) {
                UsbAdbDevice adb = describe(device, id);
                Log::usb().info("ADB interface attached: {} id={}",
                                Log::privateValue(adb.productName), id);
                handler_(UsbDeviceEvent::attached(std::move(adb)));
            }
        }
    }

    void detach(const std::vector<std::uint64_t>& ids) {
        for (std::uint64_t id : ids) {
            Log::usb().info("ADB interface detached: id={}", id);
            handler_(UsbDeviceEvent::detached(id));
        }
    }

    const UsbEventHandler handler_;
    const std::chrono::milliseconds rescanInterval_;
    const bool useHotplug_;
    UsbKnownInterfaces known_;           // monitor thread only
    std::vector<HotplugEvent> pending_;  // monitor thread only

    std::mutex mutex_;
    std::condition_variable wake_;
    bool started_ = false;
    bool stopping_ = false;
    libusb_context* context_ = nullptr;
    std::thread thread_;
};

}  // namespace

std::unique_ptr<UsbEventSubscription> UsbDeviceMonitor::events(UsbEventHandler handler) const {
    return std::make_unique<MonitorSession>(std::move(handler), rescanInterval_, useHotplug_);
}

UsbEventSource UsbDeviceMonitor::source(std::chrono::milliseconds rescanInterval) {
    return [rescanInterval](UsbEventHandler handler) {
        return UsbDeviceMonitor(rescanInterval).events(std::move(handler));
    };
}

}  // namespace qm
