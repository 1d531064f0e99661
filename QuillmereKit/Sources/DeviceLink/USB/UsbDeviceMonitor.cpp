#include "DeviceLink/USB/UsbDeviceMonitor.h"

#include <algorithm>
#include <condition_variable>
#include <iterator>
#include <map>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>
#include <utility>

#include <pthread.h>

#include "DeviceLink/USB/LibusbBus.h"
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

constexpr std::chrono::milliseconds hotplugPoll{500};

std::uint64_t deviceKeyOf(const UsbBusDevice& device) {
    return UsbInterfaceID::deviceKey(
        UsbInterfaceID::make(device.busNumber(), device.address(), 0, 0));
}

// The interface IDs of the device's ADB interfaces; nothing when its configuration cannot be read.
std::optional<std::vector<std::uint64_t>> adbInterfacesOf(const UsbBusDevice& device) {
    const std::optional<UsbConfiguration> config = device.activeConfiguration();
    if (!config) {
        return std::nullopt;
    }
    std::vector<std::uint64_t> ids;
    for (const UsbInterfaceDescriptor& d : config->interfaces) {
        if (UsbInterfaceClass::isAdb(d.interfaceClass, d.subclass, d.protocol)) {
            ids.push_back(UsbInterfaceID::make(device.busNumber(), device.address(), config->value,
                                               d.number));
        }
    }
    return ids;
}

UsbMonitorOptions withDefaults(UsbMonitorOptions options) {
    if (!options.openBus) {
        options.openBus = LibusbBus::open;
    }
    return options;
}

class MonitorSession final : public UsbEventSubscription {
public:
    MonitorSession(UsbEventHandler handler, const UsbMonitorOptions& options)
        : handler_(std::move(handler)), options_(options) {
        thread_ = std::thread([this] { run(); });
        std::unique_lock lock(mutex_);
        started_.wait(lock, [&] { return isStarted_; });
    }

    ~MonitorSession() override {
        {
            std::lock_guard lock(mutex_);
            stop_.request_stop();
            if (bus_ != nullptr) {
                bus_->interrupt();
            }
        }
        thread_.join();
    }

private:
    using Devices = std::vector<std::shared_ptr<UsbBusDevice>>;

    // A device that arrived unreadable, or the listing of those present (no device), and when
    // to read it again.
    struct Retry {
        std::shared_ptr<UsbBusDevice> device;
        std::uint64_t dueNanos = 0;
        std::size_t tries = 0;
    };

    void run() {
        pthread_setname_np(pthread_self(), "usb.monitor");
        UsbBusResult opened = options_.openBus();
        if (!opened.bus) {
            Log::usb().warn("USB is unavailable: {}", opened.unavailable);
            handler_(UsbDeviceEvent::unavailable(opened.unavailable));
            signalStarted(nullptr);
            return;
        }
        UsbBus& bus = *opened.bus;
        const bool hotplug = options_.useHotplug && bus.watchHotplug();
        if (hotplug) {
            if (!listPresent(bus)) {
                // Nothing tells of a phone plugged in before the watch: list again.
                Log::usb().info("USB devices cannot be listed yet; trying again");
                listing_ = Retry{nullptr, dueAfter(0), 0};
            }
        } else {
            rescan(bus);
        }
        signalStarted(&bus);
        while (!stop_.stop_requested()) {
            if (hotplug) {
                for (const UsbHotplug& event : bus.waitForHotplug(untilNextRetry())) {
                    if (stop_.stop_requested()) {
                        break;
                    }
                    if (event.kind == UsbHotplug::Kind::arrived) {
                        arrived(event.device);
                    } else {
                        left(*event.device);
                    }
                }
                retryDue(bus);
            } else {
                options_.clock.sleep(options_.rescanInterval, stop_.get_token());
                if (!stop_.stop_requested()) {
                    rescan(bus);
                }
            }
        }
        retries_.clear();  // their devices go before the bus
        std::lock_guard lock(mutex_);
        bus_ = nullptr;
    }

    void signalStarted(UsbBus* bus) {
        {
            std::lock_guard lock(mutex_);
            bus_ = bus;
            isStarted_ = true;
        }
        started_.notify_all();
    }

    void arrived(const std::shared_ptr<UsbBusDevice>& device) {
        const std::uint64_t key = deviceKeyOf(*device);
        if (const auto pending = retries_.find(key); pending != retries_.end()) {
            pending->second.device = device;  // read when its retry is due
        } else if (const auto ids = adbInterfacesOf(*device)) {
            attach(*device, *ids);
        } else {
            Log::usb().info("USB device {}-{} cannot be read yet; trying again",
                            device->busNumber(), device->address());
            retries_.emplace(key, Retry{device, dueAfter(0), 0});
        }
    }

    // Reports the devices attached now; false when they could not be listed.
    bool listPresent(UsbBus& bus) {
        const std::optional<Devices> listed = bus.devices();
        if (!listed) {
            return false;
        }
        for (const auto& device : *listed) {
            arrived(device);
        }
        return true;
    }

    void left(const UsbBusDevice& device) {
        const std::uint64_t key = deviceKeyOf(device);
        retries_.erase(key);
        detach(known_.removeDevice(key));
    }

    std::uint64_t dueAfter(std::size_t tries) const {
        return options_.clock.nowNanos() +
               static_cast<std::uint64_t>(
                   std::chrono::nanoseconds(UsbDeviceMonitor::arrivalRetryDelays[tries]).count());
    }

    // False once the last delay has passed: the retry is then given up.
    bool postpone(Retry& retry) const {
        if (++retry.tries == UsbDeviceMonitor::arrivalRetryDelays.size()) {
            return false;
        }
        retry.dueNanos = dueAfter(retry.tries);
        return true;
    }

    std::chrono::nanoseconds untilNextRetry() const {
        std::chrono::nanoseconds wait = hotplugPoll;
        const std::uint64_t now = options_.clock.nowNanos();
        const auto until = [&](const Retry& retry) {
            wait = std::min(
                wait, std::chrono::nanoseconds(retry.dueNanos > now ? retry.dueNanos - now : 0));
        };
        for (const auto& [key, retry] : retries_) {
            until(retry);
        }
        if (listing_) {
            until(*listing_);
        }
        return wait;
    }

    void retryDue(UsbBus& bus) {
        const std::uint64_t now = options_.clock.nowNanos();
        if (listing_ && listing_->dueNanos <= now) {
            if (listPresent(bus)) {
                listing_.reset();
            } else if (!postpone(*listing_)) {
                Log::usb().warn("USB devices could not be listed; plug the phone in again");
                listing_.reset();
            }
        }
        for (auto it = retries_.begin(); it != retries_.end();) {
            Retry& retry = it->second;
            if (retry.dueNanos > now) {
                ++it;
            } else if (const auto ids = adbInterfacesOf(*retry.device)) {
                attach(*retry.device, *ids);
                it = retries_.erase(it);
            } else if (!postpone(retry)) {
                Log::usb().warn("USB device {}-{} stayed unreadable; plug it in again to retry",
                                retry.device->busNumber(), retry.device->address());
                it = retries_.erase(it);
            } else {
                ++it;
            }
        }
    }

    void rescan(UsbBus& bus) {
        const std::optional<Devices> listed = bus.devices();
        if (!listed) {
            return;  // a failed listing is no proof that anything went
        }
        std::set<std::uint64_t> present;
        std::vector<std::pair<const UsbBusDevice*, std::vector<std::uint64_t>>> adb;
        for (const auto& device : *listed) {
            std::optional<std::vector<std::uint64_t>> read = adbInterfacesOf(*device);
            if (!read) {
                // Still there, though unreadable just now: keep what we knew of it.
                const std::vector<std::uint64_t> known = known_.ofDevice(deviceKeyOf(*device));
                present.insert(known.begin(), known.end());
                continue;
            }
            if (!read->empty()) {
                present.insert(read->begin(), read->end());
                adb.emplace_back(device.get(), std::move(*read));
            }
        }
        detach(known_.retainOnly(present));
        for (const auto& [device, ids] : adb) {
            attach(*device, ids);
        }
    }

    void attach(const UsbBusDevice& device, const std::vector<std::uint64_t>& ids) {
        // Read once per device, and only for an interface not seen before.
        std::optional<UsbDeviceStrings> strings;
        for (std::uint64_t id : ids) {
            if (known_.insert(id)) {
                if (!strings) {
                    strings = device.strings();
                }
                UsbAdbDevice adb = UsbAdbDevice::make(id, strings->serial, strings->product,
                                                      strings->manufacturer);
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
    const UsbMonitorOptions options_;
    UsbKnownInterfaces known_;                // monitor thread only
    std::map<std::uint64_t, Retry> retries_;  // monitor thread only, by device key
    std::optional<Retry> listing_;            // monitor thread only

    std::mutex mutex_;
    std::condition_variable started_;
    bool isStarted_ = false;
    UsbBus* bus_ = nullptr;  // while the thread watches it
    std::stop_source stop_;
    std::thread thread_;
};

}  // namespace

UsbDeviceMonitor::UsbDeviceMonitor(UsbMonitorOptions options)
    : options_(withDefaults(std::move(options))) {}

std::unique_ptr<UsbEventSubscription> UsbDeviceMonitor::events(UsbEventHandler handler) const {
    return std::make_unique<MonitorSession>(std::move(handler), options_);
}

UsbEventSource UsbDeviceMonitor::source(UsbMonitorOptions options) {
    return [monitor = UsbDeviceMonitor(std::move(options))](UsbEventHandler handler) {
        return monitor.events(std::move(handler));
    };
}

}  // namespace qm
