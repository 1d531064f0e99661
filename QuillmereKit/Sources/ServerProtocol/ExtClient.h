#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>

#include "QuillmereCore/ByteChannel.h"
#include "QuillmereCore/TaskClock.h"
#include "QuillmereCore/TypedError.h"
#include "ServerProtocol/ExtMessage.h"

namespace qm {

// What the phone said when the extension channel opened, with the computer's clock around it.
struct ExtHello {
    std::uint16_t version = 0;
    std::int64_t phoneMonotonicNanos = 0;
    std::int64_t phoneWallMillis = 0;
    std::uint64_t hostSendNanos = 0;    // read just before the hello was queued
    std::uint64_t macReceiveNanos = 0;  // read once the reply was taken

    bool operator==(const ExtHello&) const = default;
};

enum class ExtClientErrorKind { versionMismatch, serverError, unexpected, timeout };

class ExtClientError : public TypedError<ExtClientErrorKind> {
public:
    static ExtClientError versionMismatch(std::uint16_t server);
    static ExtClientError serverError(const std::string& text);
    static ExtClientError unexpected(const std::string& description);
    static ExtClientError timeout();

    // The server's version, for versionMismatch.
    std::uint16_t serverVersion() const noexcept { return serverVersion_; }

private:
    ExtClientError(Kind kind, const std::string& message, std::string caseText,
                   std::uint16_t serverVersion = 0)
        : TypedError(kind, message, std::move(caseText)), serverVersion_(serverVersion) {}

    std::uint16_t serverVersion_;
};

// The computer's end of the extension channel. Any thread may send without waiting: frames go
// through a queue that keeps the 64 newest, to one writer thread. One reader at a time calls
// next(); handshake() is such a reader.
class ExtClient {
public:
    static constexpr std::size_t maxQueuedFrames = 64;

    explicit ExtClient(std::shared_ptr<ByteChannel> channel);
    // Closes the channel and joins the writer: a write stuck on a silent phone must not keep
    // the owner waiting.
    ~ExtClient();
    ExtClient(const ExtClient&) = delete;
    ExtClient& operator=(const ExtClient&) = delete;

    // True once closed, or once a write failed.
    bool isClosed() const noexcept { return closed_.load(); }

    // Never blocks or throws; dropped once the client is closed.
    void send(const ExtMessage& message);

    // The next message: the channel's errors and BinaryError for a bad frame pass through.
    ExtMessage next(std::stop_token stop = {});

    // Sends hello and waits up to `timeout` for the phone's helloAck. On time-out the channel is
    // closed (that is what ends the pending read) and ExtClientError.timeout is thrown even if a
    // reply came at the same moment; channel errors before then pass through unchanged.
    ExtHello handshake(std::chrono::nanoseconds timeout, const TaskClock& clock = {},
                       std::stop_token stop = {});

    // Stops sending (queued frames may still be written before the channel closes) and closes
    // the channel. Safe to repeat.
    void close() noexcept;

private:
    void runWriter();

    const std::shared_ptr<ByteChannel> channel_;
    std::atomic<bool> closed_{false};

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Bytes> outbox_;
    bool outboxFinished_ = false;

    std::jthread writer_;  // last: started once the state above exists
};

}  // namespace qm
