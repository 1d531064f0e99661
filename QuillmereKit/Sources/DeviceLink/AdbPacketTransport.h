#pragma once

#include <chrono>
#include <string>

#include "DeviceLink/AdbMessage.h"

namespace qm {

// Whole ADB messages to and from one phone. Blocking; one thread may read while others write.
// After close() every read and write fails with AdbError closed, and a blocked one is released.
class AdbPacketTransport {
public:
    virtual ~AdbPacketTransport() = default;

    // Header then payload, never interleaved with another writer's message.
    virtual void write(const AdbMessage& message) = 0;
    virtual AdbMessage read() = 0;
    virtual void close() noexcept = 0;
    // Discards what the phone queued for an earlier host session, until it has been quiet for
    // `idle`. Never fails; a transport without such leftovers reads nothing.
    virtual void drainPending(std::chrono::nanoseconds idle) { (void)idle; }
};

// Every transport refuses a header that announces more than the host accepts, before it
// reads (or allocates for) the payload.
inline void checkPayloadLength(const AdbHeader& header,
                               std::uint32_t limit = AdbProtocolConstants::maxPayload) {
    if (header.dataLength > limit) {
        throw AdbError::protocolViolation("payload too large: " +
                                          std::to_string(header.dataLength));
    }
}

}  // namespace qm
