#pragma once

#include <algorithm>
#include <chrono>
#include <memory>
#include <stop_token>
#include <string>

#include "QuillmereCore/ByteChannel.h"
#include "QuillmereCore/DeviceServices.h"
#include "QuillmereCore/TaskClock.h"
#include "QuillmereCore/TypedError.h"
#include "ServerProtocol/ServerLogChannel.h"
#include "ServerProtocol/ServerOptions.h"

namespace qm {

enum class ServerErrorKind {
    versionMismatch,
    serverDied,
    connectTimeout,
    streamDisabled,      // raised by the session for codec id 0
    configurationError,  // raised by the session for codec id 1
};

class ServerError : public TypedError<ServerErrorKind> {
public:
    // The server's output contains "does not match the client".
    static ServerError versionMismatch(std::string serverOutput);
    // The server ended, or a socket read failed for another reason.
    static ServerError serverDied(std::string serverOutput);
    static ServerError connectTimeout();
    static ServerError streamDisabled();
    static ServerError configurationError();

    // What the server printed, for versionMismatch and serverDied.
    const std::string& serverOutput() const noexcept { return serverOutput_; }

    friend bool operator==(const ServerError& a, const ServerError& b) {
        return a.kind() == b.kind() && a.serverOutput_ == b.serverOutput_;
    }

private:
    ServerError(Kind kind, const std::string& message, std::string caseText,
                std::string serverOutput = {})
        : TypedError(kind, message, std::move(caseText)), serverOutput_(std::move(serverOutput)) {}

    std::string serverOutput_;
};

// The open sockets of a running server. The caller owns them and closes them when the stream
// ends; dropping an ADB stream closes it too.
struct ServerConnection {
    std::string deviceName;
    std::shared_ptr<ByteChannel> video;  // at its codec id
    std::shared_ptr<ByteChannel> audio;  // none when audio is off
    // When control is off, an in-memory channel whose input has ended: writes go nowhere.
    std::shared_ptr<ByteChannel> control;
    std::shared_ptr<ByteChannel> ext;  // none when off or when it could not be connected
    std::shared_ptr<ServerLogChannel> serverLog;
};

// Pushes the server, starts it and connects its sockets.
struct ServerLauncher {
    Bytes jar;
    std::chrono::nanoseconds retryInterval = std::chrono::milliseconds(50);
    std::chrono::nanoseconds connectTimeout = std::chrono::seconds(5);
    std::chrono::nanoseconds extConnectTimeout = std::chrono::milliseconds(500);
    // How long a failed socket read waits for the server's last words.
    std::chrono::nanoseconds exitOutputTimeout = std::chrono::seconds(1);
    // What the socket retries wait on.
    TaskClock clock;

    explicit ServerLauncher(Bytes serverJar) : jar(std::move(serverJar)) {}
    // The extension time-out never exceeds the media one.
    ServerLauncher(Bytes serverJar, std::chrono::nanoseconds retry,
                   std::chrono::nanoseconds timeout, std::chrono::nanoseconds extTimeout)
        : jar(std::move(serverJar)),
          retryInterval(retry),
          connectTimeout(timeout),
          extConnectTimeout(std::min(timeout, extTimeout)) {}

    // SetDisplayPower(off), sent when the options ask for the screen to go dark.
    static const Bytes& displayOffMessage();

    // Errors of the device services pass through unchanged from the push and the shell open;
    // later failures are ServerError, CancellationError when `stop` is requested, or the control
    // socket's error for the display-off write. On failure every socket opened so far is closed
    // in opening order, then the shell stream. Throws ServerOptionsError before touching the
    // phone for options that cannot form a start command.
    ServerConnection launch(const ServerOptions& options, DeviceServices& services,
                            std::stop_token stop = {}) const;

    // versionMismatch when the output says so, serverDied otherwise.
    static ServerError diagnose(std::string serverOutput);
    // The bytes before the first zero byte, as UTF-8 with U+FFFD for ill-formed sequences.
    static std::string decodeDeviceName(ByteView block);
};

}  // namespace qm
