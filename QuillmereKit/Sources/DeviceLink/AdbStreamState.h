#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "DeviceLink/StreamBuffer.h"

namespace qm {

// The connection's side of one open stream; shared by the connection's table and the
// `AdbStream` handed to its user. Internal to the connection.
struct AdbStreamState {
    AdbStreamState(std::uint32_t local, std::uint32_t remote) : localID(local), remoteID(remote) {}

    const std::uint32_t localID;
    const std::uint32_t remoteID;
    StreamBuffer buffer;

    // Guarded by the connection's mutex.
    bool terminated = false;
    bool endedByTransportFailure = false;
    std::size_t okayCredits = 0;    // OKAYs not yet spent by a writer
    std::uint64_t nextTurn = 0;     // FIFO write turns: the next send takes this ticket...
    std::uint64_t servingTurn = 0;  // ...and writes when it is served
    std::condition_variable changed;

    // Held around every message written for this stream, so that none follows its CLSE.
    std::mutex wire;
    bool closeSent = false;  // guarded by `wire`
};

}  // namespace qm
