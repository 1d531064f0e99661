#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "DeviceLink/AdbKey.h"
#include "DeviceLink/AdbPacketTransport.h"
#include "DeviceLink/AdbStream.h"
#include "DeviceLink/DeviceBanner.h"
#include "QuillmereCore/DeviceServices.h"

namespace qm {

struct AdbStreamState;

struct AdbConnectionTimings {
    // How long the phone must stay quiet before leftovers of an earlier session count as gone.
    std::chrono::nanoseconds drainIdle = std::chrono::milliseconds(150);
    // A phone answers an OPEN at once, with OKAY or CLSE; one silent this long never will.
    std::chrono::nanoseconds openTimeout = std::chrono::seconds(10);
    // A shell command's whole output, getprop's included, takes a phone well under a second.
    std::chrono::nanoseconds shellTimeout = std::chrono::seconds(10);
};

// One ADB connection with one phone: the handshake, then any number of streams over the one
// transport, and the shell and sync services on top of them. Every operation blocks its
// calling (background) thread; any thread may call any of them. After the handshake an
// "adb.read" thread is the only reader of the transport and an "adb.write" thread its only
// writer: OPEN, OKAY and CLSE go out ahead of stream data, and no caller, closer or reader ever
// waits for the wire.
class AdbConnection final : public DeviceServices,
                            public std::enable_shared_from_this<AdbConnection> {
public:
    // Told once, on the reader or the writer thread, when the transport fails; never after
    // close(). It must not block and must not drop the last reference to the connection.
    using TransportFailureHandler = std::function<void(std::exception_ptr)>;

    // Unread bytes above which a stream's OKAYs are withheld, so the phone waits: more than a
    // second of the densest video the server sends, so a reader's brief pause never holds the
    // phone back, while a stalled one costs bounded memory (this plus one payload).
    static constexpr std::size_t receiveHighWater = 4 * 1024 * 1024;
    // A shell command's output past this is refused: getprop's runs to some tens of KiB.
    static constexpr std::size_t maxShellOutput = 1024 * 1024;

    static std::shared_ptr<AdbConnection> create(std::shared_ptr<AdbPacketTransport> transport,
                                                 std::shared_ptr<const AdbKey> key,
                                                 std::string hostName,
                                                 TransportFailureHandler onTransportFailure = {},
                                                 AdbConnectionTimings timings = {});

    // Closes the connection and joins its reader and writer.
    ~AdbConnection() override;
    AdbConnection(const AdbConnection&) = delete;
    AdbConnection& operator=(const AdbConnection&) = delete;

    // Runs the handshake once, right after creation, and returns the phone's banner.
    // `onAwaitingUserApproval` is called when the phone must ask its user to allow this
    // computer; it must not block. Waits without a time limit: close() ends the wait.
    // A failed handshake leaves closing to the owner.
    DeviceBanner connect(const std::function<void()>& onAwaitingUserApproval);

    // Ends every stream (reads fail with ByteIOError closed) and closes the transport; waits for
    // nothing.
    void close() noexcept;

    bool hasTransportFailed() const noexcept { return transportFailed_.load(); }
    // The largest payload sent in one WRTE: 0x40000 until the handshake lowers it.
    std::size_t maxPayload() const noexcept { return maxPayload_.load(); }
    std::optional<DeviceBanner> banner() const;

    // Opens a stream to a named service; AdbError closed, streamOpenFailed(service) or
    // timedOut, or CancellationError once `stop` is requested.
    std::shared_ptr<AdbStream> open(const std::string& service, std::stop_token stop = {});

    // The whole output of a command, decoded as UTF-8 with U+FFFD for ill-formed bytes.
    // AdbError closed when the transport failed before the phone ended the output, timedOut when
    // the phone did not end it in time, protocolViolation past maxShellOutput bytes.
    std::string shell(const std::string& command);
    // Stores a file on the phone over "sync:", stamped with the current time.
    void push(ByteView data, const std::string& path, std::uint32_t mode) override;
    void push(ByteView data, const std::string& path, std::uint32_t mode, std::uint32_t mtime);
    std::shared_ptr<ByteChannel> openService(const std::string& name,
                                             std::stop_token stop = {}) override;

    struct PrivateTag {};
    AdbConnection(PrivateTag, std::shared_ptr<AdbPacketTransport> transport,
                  std::shared_ptr<const AdbKey> key, std::string hostName,
                  TransportFailureHandler onTransportFailure, AdbConnectionTimings timings);

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
    void send(const std::shared_ptr<AdbStreamState>& stream, std::span<const ByteView> parts);
    void sendChunks(std::unique_lock<std::mutex>& lock,
                    const std::shared_ptr<AdbStreamState>& stream, std::span<const ByteView> parts);
    // The OKAY of the phone's last WRTE, once its bytes are buffered and the reader is not too
    // far behind; called by the stream's queue when it lets the phone go on.
    void acknowledge(AdbStreamState& stream) noexcept;
    // Closing never waits: the CLSE is queued to the writer.
    void closeStream(AdbStreamState& stream) noexcept;
    void terminate(AdbStreamState& stream, ByteIOErrorKind end, bool transportFailure);
    void terminateAll(std::unique_lock<std::mutex>& lock, ByteIOErrorKind end,
                      bool transportFailure);
    bool endedByTransportFailure(AdbStreamState& stream);
    void queueControl(std::unique_lock<std::mutex>& lock, AdbMessage message);

    // The reader thread.
    void readLoop();
    void dispatch(AdbMessage message);
    void handleOkay(std::uint32_t remoteID, std::uint32_t localID);
    void handleWrite(std::uint32_t remoteID, std::uint32_t localID, Bytes payload);
    void handleClose(std::uint32_t localID);
    // An OKAY or WRTE naming a phone stream that is not the peer of ours: ignored.
    void ignoreStray(AdbMessage::Command command, std::uint32_t remoteID, std::uint32_t localID);

    // The writer thread.
    void writeLoop();
    // A failed OPEN or WRTE fails its caller with the transport's own error; the transport's
    // failure then ends everything else. `stream` is the WRTE's.
    void writeFailed(const AdbMessage& message, const std::shared_ptr<AdbStreamState>& stream,
                     const std::exception_ptr& failure);

    void transportFailed(std::exception_ptr error);

    const std::shared_ptr<AdbPacketTransport> transport_;
    const std::shared_ptr<const AdbKey> key_;
    const std::string hostName_;
    const TransportFailureHandler onTransportFailure_;
    const AdbConnectionTimings timings_;
    std::atomic<std::size_t> maxPayload_{AdbProtocolConstants::maxPayload};
    std::atomic<bool> transportFailed_{false};
    std::atomic<bool> strayReported_{false};

    mutable std::mutex mutex_;
    std::condition_variable_any openAnswered_;
    std::optional<DeviceBanner> banner_;
    bool connectStarted_ = false;
    bool isClosed_ = false;
    StreamTable streams_;
    PendingTable pendingOpens_;
    std::uint32_t nextLocalID_ = 1;

    // The writer's queues: small messages that never wait, then streams whose WRTE waits.
    // Bounded by the streams: each has at most one WRTE, one OKAY and one CLSE queued.
    std::condition_variable writerWake_;
    std::vector<AdbMessage> control_;
    std::vector<AdbMessage> controlBatch_;  // the writer's only
    std::deque<std::shared_ptr<AdbStreamState>> pendingWrites_;

    // Last: joined before the state they use goes away.
    std::jthread reader_;
    std::jthread writer_;
};

}  // namespace qm
