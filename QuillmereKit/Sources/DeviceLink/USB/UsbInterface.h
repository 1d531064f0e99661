#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "DeviceLink/USB/UsbError.h"

namespace qm {

struct UsbEndpointInfo {
    std::uint8_t address = 0;  // with the direction bit
    bool isBulk = false;
    bool isIn = false;  // device to host
    int maxPacketSize = 0;

    bool operator==(const UsbEndpointInfo&) const = default;
};

struct UsbTransferResult {
    UsbTransferStatus status = UsbTransferStatus::completed;
    std::size_t transferred = 0;
};

// An opened and claimed USB interface: the platform under the bulk transport. Releasing it
// releases the claim. libusb stands under it in the app and a fake device in tests.
class UsbInterface {
public:
    virtual ~UsbInterface() = default;

    // Every endpoint of the interface, in descriptor order.
    virtual std::vector<UsbEndpointInfo> endpoints() const = 0;
    // One blocking bulk transfer. IN fills at most `buffer` and may end short; OUT sends all of
    // `buffer` (an empty one is a zero-length packet). A zero `timeout` waits without limit.
    // Called by at most one thread per endpoint at a time.
    virtual UsbTransferResult transfer(std::uint8_t endpoint, std::span<std::uint8_t> buffer,
                                       std::chrono::milliseconds timeout) = 0;
    // Ends the transfers in flight as `aborted` and returns once they have ended; every later
    // transfer ends `aborted` at once.
    virtual void abort() noexcept = 0;
};

}  // namespace qm
