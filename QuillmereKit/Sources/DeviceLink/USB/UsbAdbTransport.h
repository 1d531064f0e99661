#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>

#include "DeviceLink/AdbPacketTransport.h"
#include "DeviceLink/USB/TransferLane.h"
#include "DeviceLink/USB/UsbAdbDevice.h"
#include "DeviceLink/USB/UsbFraming.h"
#include "DeviceLink/USB/UsbInterface.h"
#include "QuillmereCore/Bytes.h"

namespace qm {

// Whole ADB messages over a phone's bulk pipes. Reads block only the "usb.read" thread and
// writes only "usb.write"; their callers wait. close() aborts what is in flight and releases
// the interface, so that the phone can be claimed again at once.
class UsbAdbTransport final : public AdbPacketTransport {
public:
    // A phone takes an OUT transfer within milliseconds; one that has not taken it in this long
    // is wedged, and the write fails so that the link is dropped as if the cable were pulled.
    static constexpr std::chrono::milliseconds defaultOutTimeout{5000};

    // The stale-data drain asks for this much at a time and stops after `drainLimit` bytes or
    // `drainMaxRequests` requests, whichever comes first.
    static constexpr std::size_t drainRequestSize = 0x10000;
    static constexpr std::size_t drainLimit = 0x800000;
    static constexpr std::size_t drainMaxRequests = 1024;

    // Opens and claims the phone's ADB interface through libusb; throws UsbError.
    static std::shared_ptr<UsbAdbTransport> open(
        const UsbAdbDevice& device, std::chrono::milliseconds outTimeout = defaultOutTimeout);
    // The same over an interface already opened and claimed; throws UsbError notFound when it
    // lacks a bulk pipe in either direction.
    static std::shared_ptr<UsbAdbTransport> open(
        std::unique_ptr<UsbInterface> interface, const UsbAdbDevice& device,
        std::chrono::milliseconds outTimeout = defaultOutTimeout);

    ~UsbAdbTransport() override;

    void write(const AdbMessage& message) override;
    AdbMessage read() override;
    void close() noexcept override;
    void drainPending(std::chrono::nanoseconds idle) override;

    UsbAdbTransport(std::unique_ptr<UsbInterface> interface, UsbBulkEndpoints endpoints,
                    std::chrono::milliseconds outTimeout);

private:
    void send(ByteView bytes);
    std::size_t receive(std::span<std::uint8_t> into, std::chrono::milliseconds timeout);
    [[noreturn]] void fail(UsbTransferStatus status) const;
    bool closed() const noexcept { return closed_.load(); }

    std::unique_ptr<UsbInterface> interface_;
    const UsbBulkEndpoints endpoints_;
    const std::chrono::milliseconds outTimeout_;
    std::atomic<bool> closed_{false};
    std::mutex closeMutex_;  // a second close waits until the first has released the interface
    Bytes drainBuffer_;      // used on the read lane only
    TransferLane readLane_{"usb.read"};
    TransferLane writeLane_{"usb.write"};
};

}  // namespace qm
