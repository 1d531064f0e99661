#include "Support/FakeDeviceServer.h"

#include <algorithm>

#include <fmt/format.h>
#include <pthread.h>

#include "QuillmereCore/BinaryError.h"
#include "QuillmereCore/DataByteSource.h"
#include "QuillmereCore/HostClock.h"
#include "QuillmereCore/TaskClock.h"
#include "ServerProtocol/ExtCodec.h"
#include "Support/FakeAdbDevice.h"
#include "Support/FakePhoneServices.h"
#include "Support/FakeServerMedia.h"
#include "Support/MediaPackets.h"

namespace qm::test {

namespace {

constexpr std::uint32_t jarMode = 0644;
constexpr std::string_view shellPrefix = "shell:";
constexpr std::string_view socketPrefix = "localabstract:";
constexpr std::size_t nameBlockSize = 64;

std::string_view socketLabel(FakeServerSocket kind) {
    switch (kind) {
        case FakeServerSocket::video:
            return "video";
        case FakeServerSocket::audio:
            return "audio";
        case FakeServerSocket::control:
            return "control";
        case FakeServerSocket::ext:
            return "ext";
    }
    return "?";
}

// The phone's streams for calls made outside the phone's own thread.
class DeviceStreams final : public FakePhoneStreams {
public:
    explicit DeviceStreams(FakeAdbDevice& adb) : adb_(adb) {}
    bool sendOn(std::uint32_t hostID, Bytes data) override {
        return adb_.sendOnStream(hostID, std::move(data));
    }
    bool finishOn(std::uint32_t hostID) override { return adb_.finishStream(hostID); }
    bool closeOn(std::uint32_t hostID) override { return adb_.closeStream(hostID); }

private:
    FakeAdbDevice& adb_;
};

}  // namespace

class FakeDeviceServer::Shell final : public FakeService {
public:
    Shell(FakeDeviceServer& server, std::string command)
        : server_(server), command_(std::move(command)) {}
    void opened(FakeStreamEnd& stream) override { server_.started(stream, command_); }
    void received(FakeStreamEnd&, ByteView) override {}  // the server reads no input
    void closedByHost(FakeStreamEnd& stream) override { server_.hostClosed(stream, "shell"); }

private:
    FakeDeviceServer& server_;
    const std::string command_;
};

class FakeDeviceServer::Socket final : public FakeService {
public:
    Socket(FakeDeviceServer& server, FakeServerSocket kind) : server_(server), kind_(kind) {}
    void opened(FakeStreamEnd& stream) override { server_.socketOpened(stream, kind_); }
    void received(FakeStreamEnd& stream, ByteView data) override {
        server_.received(stream, kind_, data);
    }
    void taken(FakeStreamEnd&, std::size_t bytes) override { server_.taken(kind_, bytes); }
    void closedByHost(FakeStreamEnd& stream) override {
        server_.hostClosed(stream, std::string(socketLabel(kind_)));
    }

private:
    FakeDeviceServer& server_;
    const FakeServerSocket kind_;
};

FakeDeviceServer::~FakeDeviceServer() {
    stop();
}

void FakeDeviceServer::install(FakeAdbDevice& adb, FakePhoneServices& services) {
    std::lock_guard lock(mutex_);
    adb_ = &adb;
    services_ = &services;
}

void FakeDeviceServer::stop() {
    std::vector<std::jthread> feeders;
    {
        std::lock_guard lock(mutex_);
        stopped_ = true;
        feeders = std::move(feeders_);
    }
    feeders.clear();  // each requests stop and joins
    ticker_ = {};
    ponger_ = {};
}

void FakeDeviceServer::setScript(FakeServerScript script) {
    std::lock_guard lock(mutex_);
    script_ = std::move(script);
}

std::unique_ptr<FakeService> FakeDeviceServer::open(const std::string& name, std::uint32_t hostID) {
    if (name.starts_with(shellPrefix)) {
        return std::make_unique<Shell>(*this, name.substr(shellPrefix.size()));
    }
    std::lock_guard lock(mutex_);
    if (state_ != State::running) {
        return nullptr;  // nobody listens
    }
    const std::vector<FakeServerSocket> order = mediaOrder();
    const auto acceptedMedia = static_cast<std::size_t>(
        std::count_if(sockets_.begin(), sockets_.end(),
                      [](const SocketEntry& s) { return s.kind != FakeServerSocket::ext; }));
    FakeServerSocket kind = FakeServerSocket::ext;
    if (name == std::string(socketPrefix) + socketName(false)) {
        if (acceptedMedia == order.size()) {
            violation("host opened " + name + " after all its media sockets were connected");
            return nullptr;
        }
        kind = order[acceptedMedia];
    } else if (name == std::string(socketPrefix) + socketName(true)) {
        if (acceptedMedia < order.size()) {
            violation("host opened the extension socket before the media sockets");
        }
    } else {
        return nullptr;
    }
    if (refusals_ < script_.refusedWhileStarting) {
        ++refusals_;
        return nullptr;
    }
    if (script_.refused.contains(kind)) {
        ++scriptedRefusals_;
        return nullptr;
    }
    sockets_.push_back({kind, hostID, true});
    return std::make_unique<Socket>(*this, kind);
}

std::optional<FakeStartCommand> FakeDeviceServer::check(const std::string& command) {
    std::string problem;
    std::optional<FakeStartCommand> parsed = readStartCommand(command, problem);
    if (!parsed) {
        violation("start command \"" + command + "\": " + problem);
        return std::nullopt;
    }
    const auto jar = services_->file(std::string(serverJarPath));
    if (!jar) {
        violation("server started before its jar was pushed");
    } else if (jar->mode != jarMode) {
        violation(fmt::format("server jar has mode {:o}, not 644", jar->mode));
    }
    return parsed;
}

std::string FakeDeviceServer::socketName(bool ext) const {
    return fmt::format("{}{:08x}", ext ? "quillmere_ext_" : "quillmere_", parsed_.scid);
}

std::vector<FakeServerSocket> FakeDeviceServer::mediaOrder() const {
    std::vector<FakeServerSocket> order{FakeServerSocket::video};
    if (parsed_.audio) {
        order.push_back(FakeServerSocket::audio);
    }
    if (parsed_.control) {
        order.push_back(FakeServerSocket::control);
    }
    return order;
}

void FakeDeviceServer::started(FakeStreamEnd& phone, const std::string& command) {
    {
        std::lock_guard lock(mutex_);
        commands_.push_back(command);
        if (state_ == State::running || state_ == State::held) {
            violation("the server was started twice");
            endRun();
        }
        shellID_ = phone.hostID();
        // A new run: the sockets of the last one are gone with it.
        sockets_.clear();
        refusals_ = 0;
        controlReader_ = FakeControlReader();
        extPending_.clear();
        helloSeen_ = false;
        resetPending_ = false;
        ++run_;
        state_ = State::held;
        if (script_.holdStart) {
            heldCommand_ = command;
            return;
        }
    }
    run(phone, command, State::held);
}

bool FakeDeviceServer::releaseStart() {
    std::string command;
    {
        std::lock_guard lock(mutex_);
        if (state_ != State::held) {
            return false;
        }
        command = heldCommand_;
    }
    DeviceStreams phone(*adb_);
    run(phone, command, State::held);
    return true;
}

void FakeDeviceServer::run(FakePhoneStreams& phone, const std::string& command, State from) {
    std::string output;
    bool exits = true;
    std::uint32_t shell = 0;
    {
        std::lock_guard lock(mutex_);
        if (state_ != from) {
            return;  // the host ended the shell meanwhile
        }
        shell = shellID_;
        state_ = State::exited;
        const std::optional<FakeStartCommand> parsed = check(command);
        if (!parsed) {
            output = "[server] ERROR: Usage error\n";
        } else if (parsed->clientVersion != script_.version) {
            output = fmt::format(
                "[server] ERROR: The server version ({}) does not match the client ({})\n",
                script_.version, parsed->clientVersion);
        } else if (script_.fault == FakeServerScript::Fault::dieAtStart) {
            output = script_.deathOutput;
        } else if (const std::optional<std::string> missing = missingClip(parsed->codec)) {
            // As a server whose encoder cannot start: the host shows why.
            output = fmt::format("[server] ERROR: {}\n", *missing);
        } else {
            parsed_ = *parsed;
            state_ = State::running;
            output = script_.startupOutput;
            exits = false;
        }
    }
    phone.sendOn(shell, Bytes(output.begin(), output.end()));
    if (exits) {
        phone.finishOn(shell);
    }
}

void FakeDeviceServer::socketOpened(FakeStreamEnd& phone, FakeServerSocket kind) {
    Bytes video;
    std::uint32_t videoID = 0;
    bool dropVideo = false;
    bool dies = false;
    bool dummyByte = false;
    {
        std::lock_guard lock(mutex_);
        videoID = sockets_.front().hostID;
        if (kind == FakeServerSocket::video) {
            dies = script_.fault == FakeServerScript::Fault::dieOnVideoOpen;
            dummyByte = true;
        } else if (kind == FakeServerSocket::audio) {
            feeders_.emplace_back([this, id = phone.hostID(), run = run_](std::stop_token stop) {
                pthread_setname_np(pthread_self(), "phone.audio");
                feedOrDie([&] { feedAudio(stop, id, run); });
            });
        }
        const bool lastMedia =
            kind != FakeServerSocket::ext && sockets_.size() == mediaOrder().size();
        if (lastMedia && script_.fault == FakeServerScript::Fault::dropVideoBeforeName) {
            dropVideo = true;
        } else if (lastMedia) {
            BinaryWriter out;
            Bytes name(nameBlockSize, 0);
            std::copy_n(script_.deviceName.begin(),
                        std::min(script_.deviceName.size(), nameBlockSize), name.begin());
            out.bytes(name);
            writeCodecID(out, script_.videoCodecID.value_or(rawValue(parsed_.codec)));
            video = out.take();
            // Its packets follow from the feeder, which waits for this callback to end.
            feeders_.emplace_back([this, videoID, run = run_](std::stop_token stop) {
                pthread_setname_np(pthread_self(), "phone.video");
                feedOrDie([&] { feedVideo(stop, videoID, run); });
            });
        }
    }
    if (dies) {
        std::string output;
        {
            std::lock_guard lock(mutex_);
            output = script_.deathOutput;
        }
        exit(phone, output);
        return;
    }
    if (dummyByte) {
        phone.sendOn(phone.hostID(), Bytes{0x00});
    }
    if (dropVideo) {
        phone.closeOn(videoID);
    } else if (!video.empty()) {
        phone.sendOn(videoID, std::move(video));
    }
}

void FakeDeviceServer::received(FakeStreamEnd& phone, FakeServerSocket kind, ByteView data) {
    std::vector<ExtMessage> messages;
    {
        std::unique_lock lock(mutex_);
        switch (kind) {
            case FakeServerSocket::video:
            case FakeServerSocket::audio:
                violation(fmt::format("host wrote {} bytes on the {} socket", data.size(),
                                      socketLabel(kind)));
                return;
            case FakeServerSocket::control: {
                std::optional<std::string> error;
                const std::vector<ControlMessage> taken = controlReader_.take(data, error);
                for (const ControlMessage& message : taken) {
                    if (std::holds_alternative<ResetVideo>(message)) {
                        resetPending_ = true;
                        feedWake_.notify_all();
                    }
                    control_.push_back(message);
                }
                if (error) {
                    violation("control socket: " + *error);
                }
                const auto onControl = script_.onControl;
                lock.unlock();
                if (onControl) {
                    std::ranges::for_each(taken, onControl);
                }
                return;
            }
            case FakeServerSocket::ext:
                break;
        }
        extPending_.insert(extPending_.end(), data.begin(), data.end());
        while (extPending_.size() >= ExtCodec::headerSize) {
            const std::uint32_t length = (std::uint32_t{extPending_[1]} << 24) |
                                         (std::uint32_t{extPending_[2]} << 16) |
                                         (std::uint32_t{extPending_[3]} << 8) | extPending_[4];
            if (length > ExtCodec::maxPayloadSize) {
                violation(fmt::format("ext frame of {} bytes", length));
                extPending_.clear();
                break;
            }
            const std::size_t frameSize = ExtCodec::headerSize + length;
            if (extPending_.size() < frameSize) {
                break;
            }
            DataByteSource frame(Bytes(
                extPending_.begin(), extPending_.begin() + static_cast<std::ptrdiff_t>(frameSize)));
            extPending_.erase(extPending_.begin(),
                              extPending_.begin() + static_cast<std::ptrdiff_t>(frameSize));
            try {
                messages.push_back(ExtCodec::next(frame));
            } catch (const BinaryError& error) {
                violation(std::string("ext frame: ") + error.what());
            }
        }
    }
    for (const ExtMessage& message : messages) {
        answerExt(phone, message);
    }
}

void FakeDeviceServer::taken(FakeServerSocket kind, std::size_t bytes) {
    std::lock_guard lock(mutex_);
    taken_[kind] += bytes;
}

void FakeDeviceServer::answerExt(FakeStreamEnd& phone, const ExtMessage& message) {
    std::optional<ExtMessage> answer;
    {
        std::lock_guard lock(mutex_);
        ext_.push_back(message);
        const std::uint64_t hostNanos = HostClock::nowNanos();
        const auto phoneNanos = static_cast<std::int64_t>(hostNanos) + script_.clockOffsetNanos;
        if (const auto* hello = std::get_if<ext::Hello>(&message)) {
            if (helloSeen_) {
                violation("host sent a second ext hello");
            }
            helloSeen_ = true;
            if (hello->version != 2) {
                violation(fmt::format("host announced ext protocol {}", hello->version));
            }
            switch (script_.helloReply) {
                case FakeServerScript::HelloReply::ack:
                    answer = ext::HelloAck{script_.extVersion, phoneNanos,
                                           phoneWallNanos(hostNanos) / 1'000'000};
                    break;
                case FakeServerScript::HelloReply::error:
                    answer = ext::Error{script_.extErrorText};
                    break;
                case FakeServerScript::HelloReply::silence:
                    break;
            }
        } else if (!helloSeen_) {
            violation("host sent " + describe(message) + " before its ext hello");
        } else if (!std::holds_alternative<ext::Ping>(message) &&
                   !std::holds_alternative<ext::ListApps>(message) &&
                   !std::holds_alternative<ext::SubscribeTelemetry>(message)) {
            violation("host sent " + describe(message) + ", which only the phone sends");
        } else if (script_.extSilentAfterHello) {
            // Heard, never answered.
        } else if (const auto* ping = std::get_if<ext::Ping>(&message)) {
            if (script_.pongDelay.count() == 0 && script_.pongJitter.count() == 0) {
                answer = ext::Pong{ping->clientNanos, phoneNanos};
            } else {
                queuePong(ping->clientNanos, phone.hostID());
            }
        } else if (std::holds_alternative<ext::ListApps>(message)) {
            switch (script_.appListReply) {
                case FakeServerScript::AppListReply::answer:
                    answer = ext::AppList{script_.apps.empty() ? fakeApps() : script_.apps};
                    break;
                case FakeServerScript::AppListReply::late:
                    ++lateAppLists_;
                    break;
                case FakeServerScript::AppListReply::never:
                    break;
                case FakeServerScript::AppListReply::error:
                    answer = ext::Error{script_.appListErrorText};
                    break;
            }
        } else if (const auto* subscribe = std::get_if<ext::SubscribeTelemetry>(&message)) {
            telemetryInterval_ = std::chrono::milliseconds(subscribe->intervalMillis);
            answer = ext::Telemetry{script_.telemetry};
            if (!ticker_.joinable() && !stopped_ && subscribe->intervalMillis > 0) {
                extID_ = phone.hostID();
                ticker_ = std::jthread([this](std::stop_token stop) { tick(stop); });
            }
        }
    }
    if (answer) {
        phone.sendOn(phone.hostID(), ExtCodec::encode(*answer));
    }
}

void FakeDeviceServer::tick(std::stop_token stop) {
    pthread_setname_np(pthread_self(), "phone.tick");
    while (true) {
        std::unique_lock lock(mutex_);
        const auto interval = telemetryInterval_;
        lock.unlock();
        TaskClock::sleepUnlessStopped(interval, stop);
        if (stop.stop_requested()) {
            return;
        }
        lock.lock();
        if (state_ != State::running) {
            return;
        }
        Bytes frame = ExtCodec::encode(ext::Telemetry{script_.telemetry});
        const std::uint32_t id = extID_;
        lock.unlock();
        if (!adb_->sendOnStream(id, std::move(frame))) {
            return;
        }
    }
}

void FakeDeviceServer::queuePong(std::uint64_t clientNanos, std::uint32_t extID) {
    using std::chrono::steady_clock;
    const auto now = steady_clock::now();
    std::uniform_int_distribution<std::int64_t> spread(0, script_.pongJitter.count());
    const auto delay = std::chrono::duration_cast<steady_clock::duration>(
        script_.pongDelay + std::chrono::microseconds(spread(jitter_)));
    const auto clockAt = std::chrono::duration_cast<steady_clock::duration>(
        std::clamp(script_.pongClockAt, 0.0, 1.0) * delay);
    pongs_.push_back({now + clockAt, now + delay, clientNanos, extID});
    if (!ponger_.joinable() && !stopped_) {
        ponger_ = std::jthread([this](std::stop_token stop) { answerPongs(stop); });
    }
    pongWake_.notify_all();
}

void FakeDeviceServer::answerPongs(std::stop_token stop) {
    pthread_setname_np(pthread_self(), "phone.pong");
    std::unique_lock lock(mutex_);
    for (;;) {
        if (!pongWake_.wait(lock, stop, [this] { return !pongs_.empty(); })) {
            return;
        }
        const DelayedPong pong = pongs_.front();
        pongWake_.wait_until(lock, stop, pong.clockAt, [] { return false; });
        const auto phoneNanos =
            static_cast<std::int64_t>(HostClock::nowNanos()) + script_.clockOffsetNanos;
        pongWake_.wait_until(lock, stop, pong.sendAt, [] { return false; });
        if (stop.stop_requested()) {
            return;
        }
        pongs_.pop_front();
        lock.unlock();
        adb_->sendOnStream(pong.extID, ExtCodec::encode(ext::Pong{pong.clientNanos, phoneNanos}));
        lock.lock();
    }
}

void FakeDeviceServer::hostClosed(FakeStreamEnd& phone, const std::string& what) {
    std::vector<std::uint32_t> orphaned;
    {
        std::lock_guard lock(mutex_);
        closedByHost_.push_back(what);
        for (SocketEntry& socket : sockets_) {
            if (socket.hostID == phone.hostID()) {
                socket.open = false;
            }
        }
        // Ending the shell kills the server, and its sockets go with it.
        if (what == "shell" && state_ == State::held) {
            endRun();
        }
        if (what == "shell" && state_ == State::running) {
            endRun();
            for (SocketEntry& socket : sockets_) {
                if (socket.open) {
                    socket.open = false;
                    orphaned.push_back(socket.hostID);
                }
            }
        }
    }
    for (const std::uint32_t id : orphaned) {
        phone.closeOn(id);
    }
}

void FakeDeviceServer::exit(FakePhoneStreams& phone, const std::string& output) {
    std::uint32_t shell = 0;
    std::vector<std::uint32_t> open;
    {
        std::lock_guard lock(mutex_);
        if (state_ != State::running) {
            return;
        }
        endRun();
        shell = shellID_;
        for (SocketEntry& socket : sockets_) {
            if (socket.open) {
                socket.open = false;
                open.push_back(socket.hostID);
            }
        }
    }
    phone.sendOn(shell, Bytes(output.begin(), output.end()));
    phone.finishOn(shell);
    for (const std::uint32_t id : open) {
        phone.closeOn(id);
    }
}

void FakeDeviceServer::endRun() {
    state_ = State::exited;
    feedWake_.notify_all();
}

void FakeDeviceServer::die(const std::string& output) {
    DeviceStreams phone(*adb_);
    exit(phone, output);
}

bool FakeDeviceServer::sendDeviceMessage(const DeviceMessage& message) {
    return sendControlBytes(encodeDeviceMessage(message));
}

bool FakeDeviceServer::sendControlBytes(Bytes bytes) {
    std::optional<std::uint32_t> id;
    {
        std::lock_guard lock(mutex_);
        id = openID(FakeServerSocket::control);
    }
    return id && adb_->sendOnStream(*id, std::move(bytes));
}

std::optional<std::uint32_t> FakeDeviceServer::openID(FakeServerSocket kind) const {
    const auto it = std::find_if(sockets_.begin(), sockets_.end(),
                                 [kind](const SocketEntry& s) { return s.kind == kind && s.open; });
    return it == sockets_.end() ? std::nullopt : std::optional(it->hostID);
}

bool FakeDeviceServer::sendOnExt(Bytes frame) {
    std::optional<std::uint32_t> id;
    {
        std::lock_guard lock(mutex_);
        id = openID(FakeServerSocket::ext);
    }
    return id && adb_->sendOnStream(*id, std::move(frame));
}

bool FakeDeviceServer::sendExt(const ExtMessage& message) {
    return sendOnExt(ExtCodec::encode(message));
}

bool FakeDeviceServer::sendMalformedExt() {
    return sendOnExt(Bytes{0x7E, 0, 0, 0, 0});
}

bool FakeDeviceServer::closeAlone(FakeServerSocket kind) {
    std::optional<std::uint32_t> id;
    {
        std::lock_guard lock(mutex_);
        id = openID(kind);
        for (SocketEntry& socket : sockets_) {
            if (id && socket.hostID == *id) {
                socket.open = false;
            }
        }
    }
    return id && adb_->closeStream(*id);
}

std::size_t FakeDeviceServer::releaseLateAppLists() {
    std::size_t count = 0;
    Bytes frame;
    {
        std::lock_guard lock(mutex_);
        count = std::exchange(lateAppLists_, 0);
        frame = ExtCodec::encode(ext::AppList{script_.apps.empty() ? fakeApps() : script_.apps});
    }
    for (std::size_t i = 0; i < count; ++i) {
        sendOnExt(frame);
    }
    return count;
}

bool FakeDeviceServer::isRunning() const {
    std::lock_guard lock(mutex_);
    return state_ == State::running;
}

std::vector<std::string> FakeDeviceServer::startCommands() const {
    std::lock_guard lock(mutex_);
    return commands_;
}

std::size_t FakeDeviceServer::scriptedRefusals() const {
    std::lock_guard lock(mutex_);
    return scriptedRefusals_;
}

std::vector<FakeServerSocket> FakeDeviceServer::acceptedSockets() const {
    std::lock_guard lock(mutex_);
    std::vector<FakeServerSocket> out;
    for (const SocketEntry& socket : sockets_) {
        out.push_back(socket.kind);
    }
    return out;
}

std::vector<std::string> FakeDeviceServer::closedByHost() const {
    std::lock_guard lock(mutex_);
    return closedByHost_;
}

std::vector<ControlMessage> FakeDeviceServer::controlMessages() const {
    std::lock_guard lock(mutex_);
    return control_;
}

std::vector<ExtMessage> FakeDeviceServer::extMessages() const {
    std::lock_guard lock(mutex_);
    return ext_;
}

std::vector<FakeVideoSend> FakeDeviceServer::videoSends() const {
    std::lock_guard lock(mutex_);
    return videoSends_;
}

std::uint64_t FakeDeviceServer::bytesTaken(FakeServerSocket kind) const {
    std::lock_guard lock(mutex_);
    const auto found = taken_.find(kind);
    return found == taken_.end() ? 0 : found->second;
}

std::vector<std::string> FakeDeviceServer::violations() const {
    std::lock_guard lock(mutex_);
    return violations_;
}

void FakeDeviceServer::violation(std::string what) {
    violations_.push_back(std::move(what));
}

}  // namespace qm::test
