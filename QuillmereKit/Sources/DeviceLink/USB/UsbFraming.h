#pragma once

#include <cstddef>
#include <span>

#include "DeviceLink/USB/UsbInterface.h"

namespace qm {

// The two endpoints the transport moves messages over.
struct UsbBulkEndpoints {
    UsbEndpointInfo inEndpoint;
    UsbEndpointInfo outEndpoint;

    // The first bulk IN and the first bulk OUT endpoint; UsbError notFound without either.
    static UsbBulkEndpoints select(std::span<const UsbEndpointInfo> endpoints);
};

// The rules of moving ADB messages over bulk pipes.
namespace UsbFraming {

// A payload that fills its last packet exactly must be ended by an empty one, or the device
// waits for more.
constexpr bool needsZeroLengthPacket(std::size_t payloadCount, int maxPacketSize) noexcept {
    return payloadCount > 0 && maxPacketSize > 0 &&
           payloadCount % static_cast<std::size_t>(maxPacketSize) == 0;
}

// Fills `into` from transfers that may end short or empty: `chunk` is given the part still
// missing and returns how much of it it filled. Its errors propagate.
template <typename Chunk>
void readExactly(std::span<std::uint8_t> into, Chunk&& chunk) {
    std::size_t filled = 0;
    while (filled < into.size()) {
        filled += chunk(into.subspan(filled));
    }
}

// Calls `read` (which returns a byte count) until it fails, `limit` bytes have come, or
// `maxRequests` requests were made, so that a device sending without pause, even empty
// packets, cannot hold the caller. Returns the bytes read; never throws.
template <typename Read>
std::size_t drain(std::size_t limit, std::size_t maxRequests, Read&& read) noexcept {
    std::size_t total = 0;
    for (std::size_t requests = 0; total < limit && requests < maxRequests; ++requests) {
        try {
            total += read();
        } catch (...) {
            break;
        }
    }
    return total;
}

}  // namespace UsbFraming

}  // namespace qm
