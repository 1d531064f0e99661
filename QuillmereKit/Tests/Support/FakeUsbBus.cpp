#include "Support/FakeUsbBus.h"

#include <algorithm>
#include <deque>
#include <stop_token>

#include "DeviceLink/USB/UsbAdbTransport.h"

namespace qm::test {

namespace {

std::uint16_t keyOf(std::uint8_t bus, std::uint8_t address) {
    return static_cast<std::uint16_t>(bus << 8 | address);
}

}  // namespace

struct FakeUsbBus::Entry {
    explicit Entry(Device d) : device(std::move(d)) {}

    Device device;  // guarded by the bus's mutex, as are the rest
    std::size_t configurationReads = 0;
    std::size_t openAttempts = 0;
    int refusal = 0;
};

class FakeUsbBus::BusDevice final : public UsbBusDevice {
public:
    BusDevice(FakeUsbBus& bus, std::shared_ptr<Entry> entry)
        : bus_(bus), entry_(std::move(entry)) {}

    std::uint8_t busNumber() const override { return entry_->device.bus; }
    std::uint8_t address() const override { return entry_->device.address; }
    std::optional<UsbConfiguration> activeConfiguration() const override {
        std::lock_guard lock(bus_.mutex_);
        ++entry_->configurationReads;
        if (!entry_->device.readable) {
            return std::nullopt;
        }
        return UsbConfiguration{entry_->device.configuration, entry_->device.interfaces};
    }
    UsbDeviceStrings strings() const override {
        std::lock_guard lock(bus_.mutex_);
        return entry_->device.strings;
    }

private:
    FakeUsbBus& bus_;
    const std::shared_ptr<Entry> entry_;
};

class FakeUsbBus::Watch final : public UsbBus {
public:
    explicit Watch(FakeUsbBus& bus) : bus_(bus) {
        std::lock_guard lock(bus_.mutex_);
        bus_.watches_.push_back(this);
    }
    ~Watch() override {
        std::lock_guard lock(bus_.mutex_);
        std::erase(bus_.watches_, this);
    }

    std::optional<std::vector<std::shared_ptr<UsbBusDevice>>> devices() override {
        std::lock_guard lock(bus_.mutex_);
        if (bus_.failingListings_ > 0) {
            --bus_.failingListings_;
            return std::nullopt;
        }
        std::vector<std::shared_ptr<UsbBusDevice>> devices;
        for (const auto& [key, entry] : bus_.entries_) {
            devices.push_back(std::make_shared<BusDevice>(bus_, entry));
        }
        return devices;
    }

    bool watchHotplug() override {
        std::lock_guard lock(bus_.mutex_);
        listening_ = bus_.hotplug_;
        return listening_;
    }

    std::vector<UsbHotplug> waitForHotplug(std::chrono::nanoseconds timeout) override {
        std::stop_token woken;
        {
            std::lock_guard lock(bus_.mutex_);
            if (!pending_.empty() || interrupted_) {
                return take();
            }
            waker_ = std::stop_source();
            woken = waker_.get_token();
        }
        bus_.clock_.taskClock().sleep(timeout, woken);
        std::lock_guard lock(bus_.mutex_);
        return take();
    }

    void interrupt() noexcept override {
        std::lock_guard lock(bus_.mutex_);
        interrupted_ = true;
        waker_.request_stop();
    }

    // Under the bus's mutex.
    void tell(UsbHotplug event) {
        if (listening_) {
            pending_.push_back(std::move(event));
            waker_.request_stop();
        }
    }

private:
    std::vector<UsbHotplug> take() {
        interrupted_ = false;
        std::vector<UsbHotplug> events(pending_.begin(), pending_.end());
        pending_.clear();
        return events;
    }

    FakeUsbBus& bus_;
    bool listening_ = false;
    bool interrupted_ = false;
    std::deque<UsbHotplug> pending_;
    std::stop_source waker_;
};

FakeUsbBus::FakeUsbBus() = default;
FakeUsbBus::~FakeUsbBus() = default;

void FakeUsbBus::plug(Device device) {
    const auto entry = std::make_shared<Entry>(std::move(device));
    std::lock_guard lock(mutex_);
    entries_[keyOf(entry->device.bus, entry->device.address)] = entry;
    tell(UsbHotplug::Kind::arrived, entry);
}

void FakeUsbBus::unplug(std::uint8_t bus, std::uint8_t address) {
    std::shared_ptr<FakeUsbDevice> phone;
    {
        std::lock_guard lock(mutex_);
        const auto found = entries_.find(keyOf(bus, address));
        if (found == entries_.end()) {
            return;
        }
        const std::shared_ptr<Entry> entry = found->second;
        entries_.erase(found);
        phone = entry->device.phone;
        tell(UsbHotplug::Kind::left, entry);
    }
    if (phone) {
        phone->vanish();
    }
}

void FakeUsbBus::tell(UsbHotplug::Kind kind, const std::shared_ptr<Entry>& entry) {
    for (Watch* watch : watches_) {
        watch->tell({kind, std::make_shared<BusDevice>(*this, entry)});
    }
}

void FakeUsbBus::setReadable(std::uint8_t bus, std::uint8_t address, bool readable) {
    const auto entry = find(bus, address);
    std::lock_guard lock(mutex_);
    entry->device.readable = readable;
}

void FakeUsbBus::refuseOpens(std::uint8_t bus, std::uint8_t address, int libusbCode) {
    const auto entry = find(bus, address);
    std::lock_guard lock(mutex_);
    entry->refusal = libusbCode;
}

void FakeUsbBus::makeUnavailable(std::string reason) {
    std::lock_guard lock(mutex_);
    unavailable_ = std::move(reason);
}

void FakeUsbBus::withoutHotplug() {
    std::lock_guard lock(mutex_);
    hotplug_ = false;
}

void FakeUsbBus::failListings(std::size_t count) {
    std::lock_guard lock(mutex_);
    failingListings_ = count;
}

void FakeUsbBus::runUntil(std::chrono::nanoseconds time) {
    clock_.parkAt(static_cast<std::uint64_t>(time.count()));
}

UsbMonitorOptions FakeUsbBus::monitorOptions() {
    UsbMonitorOptions options;
    options.openBus = [this]() -> UsbBusResult {
        {
            std::lock_guard lock(mutex_);
            if (unavailable_) {
                return {nullptr, *unavailable_};
            }
        }
        return {std::make_unique<Watch>(*this), {}};
    };
    options.clock = clock_.taskClock();
    return options;
}

TransportOpener FakeUsbBus::transports() {
    return [this](const UsbAdbDevice& identity) -> std::shared_ptr<AdbPacketTransport> {
        std::shared_ptr<FakeUsbDevice> phone;
        {
            std::lock_guard lock(mutex_);
            const auto found = entries_.find(keyOf(UsbInterfaceID::bus(identity.interfaceID),
                                                   UsbInterfaceID::address(identity.interfaceID)));
            if (found == entries_.end()) {
                throw UsbError::notFound();
            }
            Entry& entry = *found->second;
            ++entry.openAttempts;
            if (entry.refusal != 0) {
                throw UsbError::openFailure(entry.refusal);
            }
            // libusb claims only an ADB interface the device has in its configuration now: a
            // host that asks for another (a stale configuration, the MTP interface) gets nowhere.
            const std::uint8_t number = UsbInterfaceID::interfaceNumber(identity.interfaceID);
            const auto& interfaces = entry.device.interfaces;
            const bool adb = std::any_of(interfaces.begin(), interfaces.end(), [&](const auto& d) {
                return d.number == number &&
                       UsbInterfaceClass::isAdb(d.interfaceClass, d.subclass, d.protocol);
            });
            if (!adb ||
                identity.interfaceID != UsbInterfaceID::make(entry.device.bus, entry.device.address,
                                                             entry.device.configuration, number)) {
                throw UsbError::notFound();
            }
            phone = entry.device.phone;
        }
        if (!phone) {
            throw UsbError::notFound();
        }
        return UsbAdbTransport::open(phone->open(), identity);
    };
}

std::size_t FakeUsbBus::configurationReads(std::uint8_t bus, std::uint8_t address) const {
    const auto entry = find(bus, address);
    std::lock_guard lock(mutex_);
    return entry->configurationReads;
}

std::size_t FakeUsbBus::openAttempts(std::uint8_t bus, std::uint8_t address) const {
    const auto entry = find(bus, address);
    std::lock_guard lock(mutex_);
    return entry->openAttempts;
}

std::shared_ptr<FakeUsbBus::Entry> FakeUsbBus::find(std::uint8_t bus, std::uint8_t address) const {
    std::lock_guard lock(mutex_);
    return entries_.at(keyOf(bus, address));
}

std::vector<UsbInterfaceDescriptor> mtpAndAdb(std::uint8_t adbInterface) {
    return {{0, 6, 1, 1}, {adbInterface, 255, 66, 1}};
}

}  // namespace qm::test
