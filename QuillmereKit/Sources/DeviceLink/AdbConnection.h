#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "DeviceLink/AdbKey.h"
#include "DeviceLink/AdbPacketTransport.h"
#include "DeviceLink/AdbStream.h"
#include "DeviceLink/DeviceBanner.h"
#include "QuillmereCore/DeviceServices.h"

namespace qm {

struct AdbStreamState;

// One ADB connection with one phone: the handshake, then any number of streams over the one
// transport, and the shell and sync services on top of them. Every operation blocks its
// calling (background) thread; any thread may call any of them. One reader thread, started by
// the handshake, is the only reader of the transport.
class AdbConnection final : public DeviceServices,
                            public std::enable_shared_from_this<AdbConnection> {
public:
    // Told once, on the reader thread, when the transport fails; never after close(). It must
    // not block and must not drop the last reference to the connection.
    using TransportFailureHandler = std::function<void(std::exception_ptr)>;

    // How long the phone must stay quiet before leftovers of an earlier session count as gone.
    static constexpr std::chrono::milliseconds defaultDrainIdle{150};

    static std::shared_ptr<AdbConnection> create(
        std::shared_ptr<AdbPacketTransport> transport, std::shared_ptr<const AdbKey> key,
        std::string hostName, TransportFailureHandler onTransportFailure = {},
        std::chrono::nanoseconds drainIdle = defaultDrainIdle);

    // Closes the connection and joins its reader.
    ~AdbConnection() override;
    AdbConnection(const AdbConnection&) = delete;
    AdbConnection& operator=(const AdbConnection&) = delete;

    // Runs the handshake once, right after creation, and returns the phone's banner.
    // `onAwaitingUserApproval` is called when the phone must ask its user to allow this
    // computer; it must not block. Waits without a time limit: close() ends the wait.
    // A failed handshake leaves closing to the owner.
    DeviceBanner connect(const std::function<void()>& onAwaitingUserApproval);

    // Ends every stream (reads fail with ByteIOError closed) and closes the transport.
    void close() noexcept;

    bool hasTransportFailed() const noexcept { return transportFailed_.load(); }
    // The largest payload sent in one WRTE: 0x40000 until the handshake lowers it.
    std::size_t maxPayload() const noexcept { return maxPayload_.load(); }
    std::optional<DeviceBanner> banner() const;

    // Opens a stream to a named service; AdbError closed, streamOpenFailed(service) or the
    // transport's error.
    std::shared_ptr<AdbStream> open(const std::string& service);

    // The whole output of a command, decoded as UTF-8 with U+FFFD for ill-formed bytes.
    // AdbError closed when the transport failed before the phone ended the output.
    std::string shell(const std::string& command);
    // Stores a file on the phone over "sync:", stamped with the current time.
    void push(ByteView data, const std::string& path, std::uint32_t mode) override;
    void push(ByteView data, const std::string& path, std::uint32_t mode, std::uint32_t mtime);
    std::shared_ptr<ByteChannel> openService(const std::string& name) override;

    struct PrivateTag {};
    AdbConnection(PrivateTag, std::shared_ptr<AdbPacketTransport> transport,
                  std::shared_ptr<const AdbKey> key, std::string hostName,
                  TransportFailureHandler onTransportFailure, std::chrono::nanoseconds drainIdle);

private:
    friend class AdbStream;
    struct PendingOpen;
    using StreamTable = std::map<std::uint32_t, std::shared_ptr<AdbStreamState>>;
    using PendingTable = std::map<std::uint32_t, std::shared_ptr<PendingOpen>>;

    // Handshake.
    void answerAuth(const AdbMessage& message, bool& signatureSent, bool& publicKeySent,
                    const std::function<void()>& onAwaitingUserApproval);
    DeviceBanner accept(const AdbMessage& message);

    // Streams; the mutex is held where a function takes the lock.
    void send(AdbStreamState& stream, std::span<const ByteView> parts);
    void sendChunks(std::unique_lock<std::mutex>& lock, AdbStreamState& stream,
                    std::span<const ByteView> parts);
    void waitForOkay(std::unique_lock<std::mutex>& lock, AdbStreamState& stream);
    // Writes a message of the stream unless its CLSE has gone out; false then.
    bool writeOnStream(AdbStreamState& stream, const AdbMessage& message);
    void closeStream(AdbStreamState& stream) noexcept;
    void terminate(AdbStreamState& stream, ByteIOErrorKind end, bool transportFailure);
    void terminateAll(std::unique_lock<std::mutex>& lock, ByteIOErrorKind end,
                      bool transportFailure);
    bool endedByTransportFailure(AdbStreamState& stream);

    // The reader thread.
    void readLoop();
    void dispatch(AdbMessage message);
    void handleOkay(std::uint32_t remoteID, std::uint32_t localID);
    void handleWrite(std::uint32_t remoteID, std::uint32_t localID, Bytes payload);
    void handleClose(std::uint32_t localID);
    void transportFailed(std::exception_ptr error);

    const std::shared_ptr<AdbPacketTransport> transport_;
    const std::shared_ptr<const AdbKey> key_;
    const std::string hostName_;
    const TransportFailureHandler onTransportFailure_;
    const std::chrono::nanoseconds drainIdle_;
    std::atomic<std::size_t> maxPayload_{AdbProtocolConstants::maxPayload};
    std::atomic<bool> transportFailed_{false};

    mutable std::mutex mutex_;
    std::condition_variable openAnswered_;
    std::optional<DeviceBanner> banner_;
    bool connectStarted_ = false;
    bool isClosed_ = false;
    StreamTable streams_;
    PendingTable pendingOpens_;
    std::uint32_t nextLocalID_ = 1;

    std::jthread reader_;  // last: joined before the state it reads goes away
};

}  // namespace qm
