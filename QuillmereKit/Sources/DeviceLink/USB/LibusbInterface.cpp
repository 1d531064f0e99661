#include "DeviceLink/USB/LibusbInterface.h"

#include <array>
#include <atomic>
#include <climits>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <pthread.h>

#include "DeviceLink/USB/Libusb.h"
#include "QuillmereCore/Log.h"

namespace qm {

namespace {

UsbTransferStatus statusOf(libusb_transfer_status status) {
    switch (status) {
        case LIBUSB_TRANSFER_COMPLETED:
            return UsbTransferStatus::completed;
        case LIBUSB_TRANSFER_TIMED_OUT:
            return UsbTransferStatus::timedOut;
        case LIBUSB_TRANSFER_CANCELLED:
            return UsbTransferStatus::aborted;
        case LIBUSB_TRANSFER_STALL:
            return UsbTransferStatus::stalled;
        case LIBUSB_TRANSFER_NO_DEVICE:
            return UsbTransferStatus::noDevice;
        case LIBUSB_TRANSFER_OVERFLOW:
            return UsbTransferStatus::overflow;
        case LIBUSB_TRANSFER_ERROR:
            break;
    }
    return UsbTransferStatus::failed;
}

// One claimed interface. Each direction keeps one libusb transfer and reuses it, since the
// transport has at most one transfer in flight per direction.
class Interface final : public UsbInterface {
public:
    Interface(libusb::Context context, libusb::DeviceHandle handle, int number,
              std::vector<UsbEndpointInfo> endpoints)
        : context_(std::move(context)),
          handle_(std::move(handle)),
          number_(number),
          endpoints_(std::move(endpoints)) {
        for (Slot& slot : slots_) {
            slot.owner = this;
            slot.transfer.reset(libusb_alloc_transfer(0));
            if (!slot.transfer) {
                throw std::bad_alloc();
            }
        }
        events_ = std::thread([this] { handleEvents(); });
    }

    ~Interface() override {
        abort();
        stopEvents_.store(true);
        libusb_interrupt_event_handler(context_.get());
        events_.join();
        libusb_release_interface(handle_.get(), number_);
    }

    std::vector<UsbEndpointInfo> endpoints() const override { return endpoints_; }

    UsbTransferResult transfer(std::uint8_t endpoint, std::span<std::uint8_t> buffer,
                               std::chrono::milliseconds timeout) override {
        if (buffer.size() > static_cast<std::size_t>(INT_MAX)) {
            return {UsbTransferStatus::overflow, 0};
        }
        Slot& slot = slots_[(endpoint & LIBUSB_ENDPOINT_IN) != 0 ? 0 : 1];
        std::unique_lock lock(mutex_);
        if (aborted_) {
            return {UsbTransferStatus::aborted, 0};
        }
        libusb_transfer* t = slot.transfer.get();
        libusb_fill_bulk_transfer(t, handle_.get(), endpoint, buffer.data(),
                                  static_cast<int>(buffer.size()), &Interface::completed, &slot,
                                  static_cast<unsigned>(timeout.count()));
        slot.done = false;
        const int rc = libusb_submit_transfer(t);
        if (rc != LIBUSB_SUCCESS) {
            return {rc == LIBUSB_ERROR_NO_DEVICE ? UsbTransferStatus::noDevice
                                                 : UsbTransferStatus::failed,
                    0};
        }
        slot.inFlight = true;
        changed_.wait(lock, [&] { return slot.done; });
        slot.inFlight = false;
        changed_.notify_all();
        return {statusOf(t->status), static_cast<std::size_t>(t->actual_length)};
    }

    void abort() noexcept override {
        std::unique_lock lock(mutex_);
        aborted_ = true;
        for (Slot& slot : slots_) {
            if (slot.inFlight && !slot.done) {
                libusb_cancel_transfer(slot.transfer.get());
            }
        }
        changed_.wait(lock, [&] { return !slots_[0].inFlight && !slots_[1].inFlight; });
    }

private:
    struct Slot {
        Interface* owner = nullptr;
        libusb::Transfer transfer;
        bool inFlight = false;
        bool done = false;
    };

    static void LIBUSB_CALL completed(libusb_transfer* transfer) {
        auto& slot = *static_cast<Slot*>(transfer->user_data);
        std::lock_guard lock(slot.owner->mutex_);
        slot.done = true;
        slot.owner->changed_.notify_all();
    }

    void handleEvents() {
        pthread_setname_np(pthread_self(), "usb.interface");
        while (!stopEvents_.load()) {
            timeval tv{0, 200'000};
            libusb_handle_events_timeout_completed(context_.get(), &tv, nullptr);
        }
    }

    libusb::Context context_;
    libusb::DeviceHandle handle_;
    const int number_;
    const std::vector<UsbEndpointInfo> endpoints_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::array<Slot, 2> slots_;  // IN, OUT
    bool aborted_ = false;

    std::atomic<bool> stopEvents_{false};
    std::thread events_;
};

std::vector<UsbEndpointInfo> endpointsOf(libusb_device* device, int number) {
    std::vector<UsbEndpointInfo> endpoints;
    const libusb::ConfigDescriptor config = libusb::activeConfig(device);
    if (!config) {
        return endpoints;
    }
    for (int i = 0; i < config->bNumInterfaces; ++i) {
        const libusb_interface& interface = config->interface[i];
        if (interface.num_altsetting < 1 || interface.altsetting[0].bInterfaceNumber != number) {
            continue;
        }
        const libusb_interface_descriptor& descriptor = interface.altsetting[0];
        for (int e = 0; e < descriptor.bNumEndpoints; ++e) {
            const libusb_endpoint_descriptor& endpoint = descriptor.endpoint[e];
            endpoints.push_back({
                .address = endpoint.bEndpointAddress,
                .isBulk = (endpoint.bmAttributes & 0x03) == LIBUSB_TRANSFER_TYPE_BULK,
                .isIn = (endpoint.bEndpointAddress & LIBUSB_ENDPOINT_IN) != 0,
                .maxPacketSize = endpoint.wMaxPacketSize & 0x7FF,
            });
        }
    }
    return endpoints;
}

[[noreturn]] void openFailed(int rc) {
    Log::usb().error("opening the ADB interface failed: {}", libusb::describe(rc));
    if (rc == LIBUSB_ERROR_ACCESS) {
        Log::usb().error("no permission for the phone: is the udev rule installed?");
    }
    throw UsbError::openFailure(rc);
}

}  // namespace

std::unique_ptr<UsbInterface> LibusbInterface::open(const UsbAdbDevice& device) {
    libusb::ContextResult made = libusb::makeContext();
    if (!made.context) {
        throw UsbError::notFound();
    }
    libusb_device* found = nullptr;
    const libusb::DeviceList list(made.context.get());
    for (libusb_device* candidate : list.devices()) {
        if (libusb_get_bus_number(candidate) == UsbInterfaceID::bus(device.interfaceID) &&
            libusb_get_device_address(candidate) == UsbInterfaceID::address(device.interfaceID)) {
            found = candidate;
            break;
        }
    }
    if (found == nullptr) {
        throw UsbError::notFound();
    }
    libusb_device_handle* raw = nullptr;
    if (const int rc = libusb_open(found, &raw); rc != LIBUSB_SUCCESS) {
        openFailed(rc);
    }
    libusb::DeviceHandle handle(raw);
    const int number = UsbInterfaceID::interfaceNumber(device.interfaceID);
    if (const int rc = libusb_claim_interface(handle.get(), number); rc != LIBUSB_SUCCESS) {
        openFailed(rc);
    }
    std::vector<UsbEndpointInfo> endpoints = endpointsOf(found, number);
    return std::make_unique<Interface>(std::move(made.context), std::move(handle), number,
                                       std::move(endpoints));
}

}  // namespace qm
