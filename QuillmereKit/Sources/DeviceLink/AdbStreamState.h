#pragma once

#include <condition_variable>
#include <cstdint>
#include <exception>

#include "DeviceLink/AdbMessage.h"
#include "QuillmereCore/ByteQueue.h"

namespace qm {

// The connection's side of one open stream; shared by the connection's table, its writer and
// the `AdbStream` handed to its user. Internal to the connection.
struct AdbStreamState {
    AdbStreamState(std::uint32_t local, std::uint32_t remote)
        : localID(local), remoteID(remote), outgoing(AdbMessage::Command::wrte, local, remote) {}

    const std::uint32_t localID;
    const std::uint32_t remoteID;
    ByteQueue received;

    // Guarded by the connection's mutex.
    bool terminated = false;
    bool endedByTransportFailure = false;
    bool closeQueued = false;       // our CLSE is on its way: nothing of ours may follow it
    bool awaitingOkay = false;      // our last WRTE is not yet acknowledged
    bool owingOkay = false;         // the phone's last WRTE is not yet acknowledged
    bool writeQueued = false;       // `outgoing` is the writer's until it has gone out
    std::uint64_t nextTurn = 0;     // FIFO write turns: the next send takes this ticket...
    std::uint64_t servingTurn = 0;  // ...and writes when it is served
    std::condition_variable changed;
    // Why our last WRTE could not be written: for the send that wrote it, once.
    std::exception_ptr writeFailure;

    // The WRTE being sent; its payload buffer is reused from chunk to chunk. Filled only by the
    // send whose turn it is, and only while the writer does not hold it.
    AdbMessage outgoing;
};

}  // namespace qm
