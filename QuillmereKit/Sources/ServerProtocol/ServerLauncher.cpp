#include "ServerProtocol/ServerLauncher.h"

#include <algorithm>
#include <vector>

#include "QuillmereCore/Log.h"
#include "QuillmereCore/NullByteChannel.h"
#include "QuillmereCore/TaskClock.h"
#include "QuillmereCore/UnicodeText.h"
#include "ServerProtocol/ControlMessageEncoder.h"

namespace qm {

namespace {

constexpr std::uint32_t jarMode = 0644;
constexpr std::size_t deviceNameSize = 64;
constexpr std::string_view versionComplaint = "does not match the client";

// One launch: the log of the running server and the sockets connected so far.
class Launch {
public:
    Launch(const ServerLauncher& launcher, DeviceServices& services,
           std::shared_ptr<ServerLogChannel> log, std::stop_token stop)
        : launcher_(launcher), services_(services), log_(std::move(log)), stop_(std::move(stop)) {}

    // Retries until the socket opens, the server is seen to have ended, or the time is up; the
    // last try comes at the deadline.
    std::shared_ptr<ByteChannel> connect(const std::string& socket,
                                         std::chrono::nanoseconds timeout) {
        const TaskClock& clock = launcher_.clock;
        const std::uint64_t deadline = clock.nowNanos() + std::uint64_t(timeout.count());
        for (;;) {
            try {
                auto channel = services_.openService("localabstract:" + socket, stop_);
                opened_.push_back(channel);
                return channel;
            } catch (const std::exception&) {
                // Not listening yet, or not any more: the server's state tells which.
            }
            if (const auto output = log_->finishedOutput()) {
                throw ServerLauncher::diagnose(*output);
            }
            const std::uint64_t now = clock.nowNanos();
            if (now >= deadline) {
                throw ServerError::connectTimeout();
            }
            clock.sleep(std::min(launcher_.retryInterval, std::chrono::nanoseconds(deadline - now)),
                        stop_);
            if (stop_.stop_requested()) {
                throw CancellationError();
            }
        }
    }

    // A socket that fails this early means the server went away; its output says why.
    Bytes read(std::size_t count, ByteSource& source) {
        try {
            return source.readExactly(count);
        } catch (const std::exception&) {
        }
        throw ServerLauncher::diagnose(log_->outputAfterExit(launcher_.exitOutputTimeout));
    }

    std::size_t socketCount() const { return opened_.size(); }

    void closeAll() noexcept {
        for (const auto& socket : opened_) {
            socket->close();
        }
        log_->close();
    }

private:
    const ServerLauncher& launcher_;
    DeviceServices& services_;
    const std::shared_ptr<ServerLogChannel> log_;
    const std::stop_token stop_;
    std::vector<std::shared_ptr<ByteChannel>> opened_;
};

}  // namespace

ServerError ServerError::versionMismatch(std::string serverOutput) {
    std::string text = caseWithText("versionMismatch", serverOutput);
    return ServerError(Kind::versionMismatch,
                       "the device server's version does not match this application",
                       std::move(text), std::move(serverOutput));
}

ServerError ServerError::serverDied(std::string serverOutput) {
    std::string text = caseWithText("serverDied", serverOutput);
    return ServerError(Kind::serverDied, "the device server stopped", std::move(text),
                       std::move(serverOutput));
}

ServerError ServerError::connectTimeout() {
    return ServerError(Kind::connectTimeout, "the device server's socket did not open in time",
                       "connectTimeout");
}

ServerError ServerError::streamDisabled() {
    return ServerError(Kind::streamDisabled, "video stream disabled by the device",
                       "streamDisabled");
}

ServerError ServerError::configurationError() {
    return ServerError(Kind::configurationError, "server configuration error",
                       "configurationError");
}

const Bytes& ServerLauncher::displayOffMessage() {
    static const Bytes message = ControlMessageEncoder::encode(SetDisplayPower{false});
    return message;
}

ServerConnection ServerLauncher::launch(const ServerOptions& options, DeviceServices& services,
                                        std::stop_token stop) const {
    const std::string command = options.shellCommand();
    services.push(jar, std::string(ServerVersion::remoteJarPath), jarMode);
    auto log = std::make_shared<ServerLogChannel>(services.openService("shell:" + command, stop));

    Launch launch(*this, services, log, std::move(stop));
    ServerConnection connection;
    connection.serverLog = log;
    try {
        connection.video = launch.connect(options.socketName(), connectTimeout);
        launch.read(1, *connection.video);  // the dummy byte
        if (options.audio) {
            connection.audio = launch.connect(options.socketName(), connectTimeout);
        }
        if (options.control) {
            connection.control = launch.connect(options.socketName(), connectTimeout);
        } else {
            connection.control = std::make_shared<NullByteChannel>();
        }
        connection.deviceName = decodeDeviceName(launch.read(deviceNameSize, *connection.video));
        if (options.ext) {
            try {
                connection.ext = launch.connect(options.extSocketName(), extConnectTimeout);
            } catch (const CancellationError&) {
                throw;
            } catch (const std::exception& error) {
                Log::server().error("ext socket unavailable, continuing without it: {}",
                                    error.what());
            }
        }
        if (options.turnScreenOff && options.control) {
            connection.control->write(displayOffMessage());
        }
    } catch (...) {
        launch.closeAll();
        throw;
    }
    Log::server().info("server started, {} sockets", launch.socketCount());
    return connection;
}

ServerError ServerLauncher::diagnose(std::string serverOutput) {
    if (serverOutput.find(versionComplaint) != std::string::npos) {
        return ServerError::versionMismatch(std::move(serverOutput));
    }
    return ServerError::serverDied(std::move(serverOutput));
}

std::string ServerLauncher::decodeDeviceName(ByteView block) {
    const auto end = std::find(block.begin(), block.end(), std::uint8_t{0});
    return UnicodeText::decodeUTF8(block.first(static_cast<std::size_t>(end - block.begin())));
}

}  // namespace qm
