#include "Support/FakeUsb.h"

#include <filesystem>
#include <fstream>

#include <fmt/format.h>

#include "DeviceLink/USB/UsbAdbTransport.h"
#include "Support/TestHost.h"

namespace qm::test {

namespace {

class PortInterface final : public UsbInterface {
public:
    explicit PortInterface(std::shared_ptr<FakeUsbPort> port) : port_(std::move(port)) {}
    ~PortInterface() override { port_->abort(); }  // releasing the claim

    std::vector<UsbEndpointInfo> endpoints() const override { return port_->options().endpoints; }
    UsbTransferResult transfer(std::uint8_t endpoint, std::span<std::uint8_t> buffer,
                               std::chrono::milliseconds timeout) override {
        return port_->transfer(endpoint, buffer, timeout);
    }
    void abort() noexcept override { port_->abort(); }

private:
    std::shared_ptr<FakeUsbPort> port_;
};

}  // namespace

FakeUsbPort::FakeUsbPort(std::shared_ptr<MemoryPacketTransport> cable, Options options)
    : cable_(std::move(cable)), options_(std::move(options)) {}

std::unique_ptr<UsbInterface> FakeUsbPort::interfaceOf(std::shared_ptr<FakeUsbPort> port) {
    return std::make_unique<PortInterface>(std::move(port));
}

void FakeUsbPort::failNext(bool in, UsbTransferStatus status) {
    std::lock_guard lock(mutex_);
    (in ? inFailures_ : outFailures_).push_back(status);
}

void FakeUsbPort::shortWriteNext() {
    std::lock_guard lock(mutex_);
    shortWrite_ = true;
}

void FakeUsbPort::holdOut() {
    std::lock_guard lock(mutex_);
    outAllowance_ = 0;
}

void FakeUsbPort::allowOut(std::size_t count) {
    {
        std::lock_guard lock(mutex_);
        if (outAllowance_) {
            *outAllowance_ += count;
        }
    }
    outGate_.notify_all();
}

std::size_t FakeUsbPort::heldOutTransfers() const {
    std::lock_guard lock(mutex_);
    return heldOut_;
}

std::vector<std::size_t> FakeUsbPort::outTransfers() const {
    std::lock_guard lock(mutex_);
    return outTransfers_;
}

std::size_t FakeUsbPort::inTransfers() const {
    std::lock_guard lock(mutex_);
    return inTransfers_;
}

std::optional<std::chrono::milliseconds> FakeUsbPort::lastInTimeout() const {
    std::lock_guard lock(mutex_);
    return lastInTimeout_;
}

std::vector<std::string> FakeUsbPort::violations() const {
    std::lock_guard lock(mutex_);
    return violations_;
}

bool FakeUsbPort::isAborted() const {
    std::lock_guard lock(mutex_);
    return aborted_;
}

int FakeUsbPort::outMaxPacketSize() const {
    for (const UsbEndpointInfo& endpoint : options_.endpoints) {
        if (endpoint.isBulk && !endpoint.isIn) {
            return endpoint.maxPacketSize;
        }
    }
    return 0;
}

UsbTransferResult FakeUsbPort::transfer(std::uint8_t endpoint, std::span<std::uint8_t> buffer,
                                        std::chrono::milliseconds timeout) {
    return (endpoint & 0x80) != 0 ? receive(buffer, timeout) : send(buffer, timeout);
}

UsbTransferResult FakeUsbPort::receive(std::span<std::uint8_t> buffer,
                                       std::chrono::milliseconds timeout) {
    {
        std::lock_guard lock(mutex_);
        ++inTransfers_;
        lastInTimeout_ = timeout;
        if (aborted_) {
            return {UsbTransferStatus::aborted, 0};
        }
        if (!inFailures_.empty()) {
            const UsbTransferStatus status = inFailures_.front();
            inFailures_.pop_front();
            return {status, 0};
        }
        if (emptiesSent_ < options_.emptyInTransfers) {
            ++emptiesSent_;
            return {UsbTransferStatus::completed, 0};
        }
        emptiesSent_ = 0;
    }
    using Outcome = MemoryPacketTransport::RawOutcome;
    const auto read =
        cable_->readRaw(buffer.first(std::min(buffer.size(), options_.maxInTransfer)), timeout);
    switch (read.outcome) {
        case Outcome::data:
            return {UsbTransferStatus::completed, read.count};
        case Outcome::timedOut:
            return {UsbTransferStatus::timedOut, 0};
        case Outcome::closed:
            return {UsbTransferStatus::aborted, 0};
        case Outcome::linkGone:
            break;
    }
    return {UsbTransferStatus::noDevice, 0};
}

UsbTransferResult FakeUsbPort::send(std::span<std::uint8_t> buffer,
                                    std::chrono::milliseconds timeout) {
    std::size_t count = buffer.size();
    {
        std::unique_lock lock(mutex_);
        const auto passes = [&] { return aborted_ || !outAllowance_ || *outAllowance_ > 0; };
        if (!passes()) {
            ++heldOut_;
            bool passed = true;
            if (timeout.count() == 0) {
                outGate_.wait(lock, passes);
            } else {
                passed = outGate_.wait_for(lock, timeout, passes);
            }
            --heldOut_;
            if (!passed) {
                return {UsbTransferStatus::timedOut, 0};
            }
        }
        if (outAllowance_ && *outAllowance_ > 0) {
            --*outAllowance_;
        }
        if (aborted_) {
            return {UsbTransferStatus::aborted, 0};
        }
        if (!outFailures_.empty()) {
            const UsbTransferStatus status = outFailures_.front();
            outFailures_.pop_front();
            return {status, 0};
        }
        outTransfers_.push_back(count);
        const int mps = outMaxPacketSize();
        if (outNext_ == OutNext::empty && count != 0) {
            violations_.push_back(fmt::format(
                "a {}-byte transfer where a zero-length packet had to end the last one", count));
            outNext_ = OutNext::header;
        }
        if (count == 0) {
            if (outNext_ != OutNext::empty) {
                violations_.push_back("a zero-length packet that ends nothing");
            }
            outNext_ = OutNext::header;
        } else if (outNext_ == OutNext::payload) {
            outNext_ = mps > 0 && count % static_cast<std::size_t>(mps) == 0 ? OutNext::empty
                                                                             : OutNext::header;
        } else if (count == AdbHeader::byteCount &&
                   LittleEndian::u32(ByteView(buffer.data(), count), 12) != 0) {
            outNext_ = OutNext::payload;
        }
        if (shortWrite_ && count > 0) {
            shortWrite_ = false;
            --count;
        }
    }
    try {
        cable_->writeRaw(ByteView(buffer.data(), count));
    } catch (const AdbError&) {
        return {UsbTransferStatus::aborted, 0};
    } catch (const ByteIOError&) {
        return {UsbTransferStatus::noDevice, 0};
    }
    return {UsbTransferStatus::completed, count};
}

void FakeUsbPort::abort() noexcept {
    {
        std::lock_guard lock(mutex_);
        aborted_ = true;
    }
    outGate_.notify_all();
    cable_->close();
}

FakeUsbDevice::FakeUsbDevice(UsbAdbDevice identity, Options options)
    : identity_(std::move(identity)), options_(std::move(options)) {}

std::unique_ptr<UsbInterface> FakeUsbDevice::open() {
    std::shared_ptr<FakePhone> previous;  // ends after the lock
    std::lock_guard lock(mutex_);
    ++openAttempts_;
    if (gone_) {
        throw UsbError::notFound();
    }
    if (heldElsewhere_ || (port_ && !port_->isAborted())) {
        throw UsbError::exclusiveAccess();
    }
    auto phone = std::make_shared<FakePhone>(options_.adb);
    if (options_.prepare) {
        options_.prepare(*phone);
    }
    // A phone replugged all evening keeps only what its ended sessions did wrong.
    if (phone_) {
        pastViolations_ = violationsLocked();
    }
    previous = std::exchange(phone_, phone);
    port_ = std::make_shared<FakeUsbPort>(phone->hostTransport(), options_.usb);
    ++openCount_;
    return FakeUsbPort::interfaceOf(port_);
}

void FakeUsbDevice::holdElsewhere(bool held) {
    std::lock_guard lock(mutex_);
    heldElsewhere_ = held;
}

void FakeUsbDevice::vanish() {
    std::shared_ptr<FakePhone> phone;
    {
        std::lock_guard lock(mutex_);
        gone_ = true;
        phone = phone_;
    }
    if (phone) {
        phone->adb().dropLink();
    }
}

std::size_t FakeUsbDevice::openCount() const {
    std::lock_guard lock(mutex_);
    return openCount_;
}

std::size_t FakeUsbDevice::openAttempts() const {
    std::lock_guard lock(mutex_);
    return openAttempts_;
}

std::shared_ptr<FakePhone> FakeUsbDevice::phone() const {
    std::lock_guard lock(mutex_);
    return phone_;
}

std::shared_ptr<FakeUsbPort> FakeUsbDevice::port() const {
    std::lock_guard lock(mutex_);
    return port_;
}

std::vector<std::string> FakeUsbDevice::violations() const {
    std::lock_guard lock(mutex_);
    return violationsLocked();
}

std::vector<std::string> FakeUsbDevice::violationsLocked() const {
    std::vector<std::string> all = pastViolations_;
    if (port_) {
        const auto found = port_->violations();
        all.insert(all.end(), found.begin(), found.end());
    }
    if (phone_) {
        const auto found = phone_->violations();
        all.insert(all.end(), found.begin(), found.end());
    }
    return all;
}

class FakeUsb::Watch final : public UsbEventSubscription {
public:
    Watch(FakeUsb& bus, std::uint64_t id) : bus_(bus), id_(id) {}
    ~Watch() override {
        std::lock_guard delivery(bus_.delivery_);
        std::lock_guard lock(bus_.mutex_);
        bus_.watches_.erase(id_);
    }

private:
    FakeUsb& bus_;
    std::uint64_t id_;
};

std::shared_ptr<FakeUsbDevice> FakeUsb::attach(UsbAdbDevice identity,
                                               FakeUsbDevice::Options options) {
    auto device = std::make_shared<FakeUsbDevice>(identity, std::move(options));
    {
        std::lock_guard lock(mutex_);
        devices_[identity.interfaceID] = device;
    }
    deliver(UsbDeviceEvent::attached(identity));
    return device;
}

void FakeUsb::detach(std::uint64_t interfaceID) {
    std::shared_ptr<FakeUsbDevice> device;
    {
        std::lock_guard lock(mutex_);
        if (auto found = devices_.find(interfaceID); found != devices_.end()) {
            device = found->second;
            devices_.erase(found);
        }
    }
    if (device) {
        device->vanish();
        deliver(UsbDeviceEvent::detached(interfaceID));
    }
}

void FakeUsb::deliver(const UsbDeviceEvent& event) {
    std::lock_guard delivery(delivery_);
    std::vector<UsbEventHandler> handlers;
    {
        std::lock_guard lock(mutex_);
        for (const auto& [id, handler] : watches_) {
            handlers.push_back(handler);
        }
    }
    for (const auto& handler : handlers) {
        handler(event);
    }
}

UsbEventSource FakeUsb::events() {
    return [this](UsbEventHandler handler) -> std::unique_ptr<UsbEventSubscription> {
        std::lock_guard delivery(delivery_);
        std::vector<UsbAdbDevice> present;
        std::uint64_t id = 0;
        {
            std::lock_guard lock(mutex_);
            for (const auto& [interfaceID, device] : devices_) {
                present.push_back(device->identity());
            }
            id = nextWatch_++;
            watches_[id] = handler;
            ++watchesStarted_;
        }
        for (const UsbAdbDevice& device : present) {
            handler(UsbDeviceEvent::attached(device));
        }
        return std::make_unique<Watch>(*this, id);
    };
}

TransportOpener FakeUsb::opener() {
    return [this](const UsbAdbDevice& identity) -> std::shared_ptr<AdbPacketTransport> {
        std::shared_ptr<FakeUsbDevice> device;
        {
            std::lock_guard lock(mutex_);
            if (auto found = devices_.find(identity.interfaceID); found != devices_.end()) {
                device = found->second;
            }
        }
        if (!device) {
            throw UsbError::notFound();
        }
        return UsbAdbTransport::open(device->open(), identity);
    };
}

std::size_t FakeUsb::watchesStarted() const {
    std::lock_guard lock(mutex_);
    return watchesStarted_;
}

FakeUsbDevice::Options trustingPhone(FakeUsbPort::Options usb) {
    FakeUsbDevice::Options options;
    options.usb = std::move(usb);
    options.prepare = [](FakePhone& phone) { phone.adb().trust(*testHostKey()); };
    return options;
}

bool realAdbInterfacePresent() {
    // The kernel's view of every interface, read without opening anything.
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/sys/bus/usb/devices", error)) {
        const auto attribute = [&](const char* name) {
            std::string value;
            std::ifstream(entry.path() / name) >> value;
            return value;
        };
        if (attribute("bInterfaceClass") == "ff" && attribute("bInterfaceSubClass") == "42" &&
            attribute("bInterfaceProtocol") == "01") {
            return true;
        }
    }
    return false;
}

}  // namespace qm::test
