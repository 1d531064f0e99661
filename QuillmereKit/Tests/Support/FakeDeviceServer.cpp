#include "Support/FakeDeviceServer.h"

#include <cmath>
#include <numbers>

#include <fmt/format.h>

#include "QuillmereCore/BinaryError.h"
#include "QuillmereCore/DataByteSource.h"
#include "QuillmereCore/HostClock.h"
#include "ServerProtocol/ExtCodec.h"
#include "Support/FakeAdbDevice.h"
#include "Support/FakePhoneServices.h"
#include "Support/MediaFixtures.h"
#include "Support/MediaPackets.h"

namespace qm::test {

namespace {

constexpr std::string_view jarPath = "/data/local/tmp/quillmere-server.jar";
constexpr std::uint32_t jarMode = 0644;
constexpr std::string_view shellPrefix = "shell:";
constexpr std::string_view socketPrefix = "localabstract:";
constexpr std::size_t nameBlockSize = 64;

const Bytes& pngIcon() {
    static const Bytes icon = {
        0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48,
        0x44, 0x52, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x06, 0x00, 0x00,
        0x00, 0x1F, 0x15, 0xC4, 0x89, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x44, 0x41, 0x54, 0x78,
        0x9C, 0x63, 0x50, 0x68, 0xF8, 0xFF, 0x1F, 0x00, 0x05, 0x02, 0x02, 0x9F, 0x76, 0xA8,
        0x46, 0xC9, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};
    return icon;
}

std::vector<AppInfo> defaultApps() {
    return {AppInfo{"com.tressik.racer", "Racer", true, 1700000000000, pngIcon()},
            AppInfo{"com.example.notes", "Notes ✎", false, 1690000000000, pngIcon()}};
}

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

std::vector<std::string> words(const std::string& command) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (;;) {
        const std::size_t space = command.find(' ', start);
        out.push_back(command.substr(start, space - start));
        if (space == std::string::npos) {
            return out;
        }
        start = space + 1;
    }
}

bool isDecimal(std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

bool isBool(std::string_view text) {
    return text == "true" || text == "false";
}

// name:type=value, as the phone's encoder takes its options.
bool isCodecOption(std::string_view option) {
    const std::size_t colon = option.find(':');
    const std::size_t equals = option.find('=');
    if (colon == 0 || colon == std::string_view::npos || equals == std::string_view::npos ||
        equals < colon || equals + 1 == option.size()) {
        return false;
    }
    const std::string_view type = option.substr(colon + 1, equals - colon - 1);
    return type == "int" || type == "long" || type == "float" || type == "string";
}

bool isCodecOptionList(std::string_view list) {
    for (;;) {
        const std::size_t comma = list.find(',');
        if (!isCodecOption(list.substr(0, comma))) {
            return false;
        }
        if (comma == std::string_view::npos) {
            return true;
        }
        list.remove_prefix(comma + 1);
    }
}

std::int64_t wallMillis() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
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
    {
        std::lock_guard lock(mutex_);
        stopped_ = true;
    }
    ticker_ = {};  // requests stop and joins
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
        return nullptr;
    }
    sockets_.push_back({kind, hostID, true});
    return std::make_unique<Socket>(*this, kind);
}

std::optional<FakeDeviceServer::Parsed> FakeDeviceServer::check(const std::string& command) {
    const std::vector<std::string> w = words(command);
    const auto bad = [&](const std::string& what) {
        violation("start command \"" + command + "\": " + what);
        return std::nullopt;
    };
    const std::vector<std::string> head = {"CLASSPATH=" + std::string(jarPath), "app_process", "/",
                                           "com.tressik.quillmere.Server"};
    if (w.size() < head.size() + 1) {
        return bad("too few words");
    }
    for (std::size_t i = 0; i < head.size(); ++i) {
        if (w[i] != head[i]) {
            return bad(fmt::format("word {} is \"{}\", not \"{}\"", i + 1, w[i], head[i]));
        }
    }
    Parsed p;
    p.clientVersion = w[head.size()];
    std::size_t at = head.size() + 1;
    // The value of the next word, which must be `key`=value and satisfy `valid`.
    std::optional<std::string> failure;
    const auto next = [&](std::string_view key, auto valid) -> std::string {
        const std::string prefix = std::string(key) + "=";
        if (failure) {
            return {};
        }
        if (at >= w.size() || !w[at].starts_with(prefix) || !valid(w[at].substr(prefix.size()))) {
            failure = fmt::format("word {} is \"{}\" where {}=... belongs", at + 1,
                                  at < w.size() ? w[at] : "", key);
            return {};
        }
        return w[at++].substr(prefix.size());
    };
    const auto exactly = [](std::string_view expected) {
        return [expected](std::string_view value) { return value == expected; };
    };
    const std::string scid = next("scid", [](std::string_view v) {
        return v.size() == 8 && v.find_first_not_of("0123456789abcdef") == std::string_view::npos &&
               v[0] < '8';
    });
    next("log_level", exactly("info"));
    const std::string codec =
        next("video_codec", [](std::string_view v) { return v == "h264" || v == "h265"; });
    next("max_size", isDecimal);
    next("max_fps", isDecimal);
    next("video_bit_rate", isDecimal);
    if (!failure && at < w.size() && w[at].starts_with("video_codec_options=")) {
        next("video_codec_options", isCodecOptionList);
    }
    p.audio = next("audio", isBool) == "true";
    if (p.audio) {
        next("audio_codec", exactly("raw"));
    }
    p.control = next("control", isBool) == "true";
    next("tunnel_forward", exactly("true"));
    next("stay_awake", isBool);
    for (const auto& [key, value] : {std::pair{"power_off_on_close", "false"},
                                     {"clipboard_autosync", "false"},
                                     {"cleanup", "true"},
                                     {"power_on", "true"},
                                     {"send_device_meta", "true"},
                                     {"send_dummy_byte", "true"},
                                     {"send_stream_meta", "true"},
                                     {"send_frame_meta", "true"}}) {
        next(key, exactly(value));
    }
    if (failure) {
        return bad(*failure);
    }
    if (at != w.size()) {
        return bad(fmt::format("{} words after the last argument", w.size() - at));
    }
    p.scid = static_cast<std::uint32_t>(std::stoul(scid, nullptr, 16));
    p.codec = codec == "h264" ? VideoCodec::h264 : VideoCodec::h265;

    const auto jar = services_->file(std::string(jarPath));
    if (!jar) {
        violation("server started before its jar was pushed");
    } else if (jar->mode != jarMode) {
        violation(fmt::format("server jar has mode {:o}, not 644", jar->mode));
    }
    return p;
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
    std::string output;
    bool exits = true;
    {
        std::lock_guard lock(mutex_);
        commands_.push_back(command);
        shellID_ = phone.hostID();
        if (state_ != State::idle) {
            violation("the server was started twice");
        }
        state_ = State::exited;
        const std::optional<Parsed> parsed = check(command);
        if (!parsed) {
            output = "[server] ERROR: Usage error\n";
        } else if (parsed->clientVersion != script_.version) {
            output = fmt::format(
                "[server] ERROR: The server version ({}) does not match the client ({})\n",
                script_.version, parsed->clientVersion);
        } else if (script_.fault == FakeServerScript::Fault::dieAtStart) {
            output = script_.deathOutput;
        } else {
            parsed_ = *parsed;
            state_ = State::running;
            output = script_.startupOutput;
            exits = false;
        }
    }
    phone.sendOn(phone.hostID(), Bytes(output.begin(), output.end()));
    if (exits) {
        phone.finishOn(phone.hostID());
    }
}

void FakeDeviceServer::socketOpened(FakeStreamEnd& phone, FakeServerSocket kind) {
    Bytes first;
    Bytes video;
    std::uint32_t videoID = 0;
    bool dropVideo = false;
    bool dies = false;
    {
        std::lock_guard lock(mutex_);
        videoID = sockets_.front().hostID;
        if (kind == FakeServerSocket::video) {
            dies = script_.fault == FakeServerScript::Fault::dieOnVideoOpen;
            first = {0x00};  // the dummy byte
        } else if (kind == FakeServerSocket::audio) {
            first = audioStream(script_.audioPackets);
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
            writeCodecID(out, rawValue(parsed_.codec));
            out.bytes(videoStream(parsed_.codec));
            video = out.take();
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
    if (!first.empty()) {
        phone.sendOn(phone.hostID(), std::move(first));
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
        std::lock_guard lock(mutex_);
        switch (kind) {
            case FakeServerSocket::video:
            case FakeServerSocket::audio:
                violation(fmt::format("host wrote {} bytes on the {} socket", data.size(),
                                      socketLabel(kind)));
                return;
            case FakeServerSocket::control: {
                std::optional<std::string> error;
                for (ControlMessage& message : controlReader_.take(data, error)) {
                    control_.push_back(std::move(message));
                }
                if (error) {
                    violation("control socket: " + *error);
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

void FakeDeviceServer::answerExt(FakeStreamEnd& phone, const ExtMessage& message) {
    std::optional<ExtMessage> answer;
    {
        std::lock_guard lock(mutex_);
        ext_.push_back(message);
        const auto phoneNanos =
            static_cast<std::int64_t>(HostClock::nowNanos()) + script_.clockOffsetNanos;
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
                    answer = ext::HelloAck{script_.extVersion, phoneNanos, wallMillis()};
                    break;
                case FakeServerScript::HelloReply::error:
                    answer = ext::Error{script_.extErrorText};
                    break;
                case FakeServerScript::HelloReply::silence:
                    break;
            }
        } else if (!helloSeen_) {
            violation("host sent " + describe(message) + " before its ext hello");
        } else if (const auto* ping = std::get_if<ext::Ping>(&message)) {
            answer = ext::Pong{ping->clientNanos, phoneNanos};
        } else if (std::holds_alternative<ext::ListApps>(message)) {
            answer = ext::AppList{script_.apps.empty() ? defaultApps() : script_.apps};
        } else if (const auto* subscribe = std::get_if<ext::SubscribeTelemetry>(&message)) {
            telemetryInterval_ = std::chrono::milliseconds(subscribe->intervalMillis);
            answer = ext::Telemetry{script_.telemetry};
            if (!ticker_.joinable() && !stopped_ && subscribe->intervalMillis > 0) {
                extID_ = phone.hostID();
                ticker_ = std::jthread([this](std::stop_token stop) { tick(stop); });
            }
        } else {
            violation("host sent " + describe(message) + ", which only the phone sends");
        }
    }
    if (answer) {
        phone.sendOn(phone.hostID(), ExtCodec::encode(*answer));
    }
}

void FakeDeviceServer::tick(std::stop_token stop) {
    std::unique_lock lock(mutex_);
    while (!stop.stop_requested()) {
        tickerWake_.wait_for(lock, stop, telemetryInterval_, [] { return false; });
        if (stop.stop_requested() || state_ != State::running) {
            return;
        }
        Bytes frame = ExtCodec::encode(ext::Telemetry{script_.telemetry});
        const std::uint32_t id = extID_;
        lock.unlock();
        const bool sent = adb_->sendOnStream(id, std::move(frame));
        lock.lock();
        if (!sent) {
            return;
        }
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
        if (what == "shell" && state_ == State::running) {
            state_ = State::exited;
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
        state_ = State::exited;
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

void FakeDeviceServer::die(const std::string& output) {
    DeviceStreams phone(*adb_);
    exit(phone, output);
}

bool FakeDeviceServer::sendDeviceMessage(const DeviceMessage& message) {
    std::uint32_t id = 0;
    {
        std::lock_guard lock(mutex_);
        const auto it = std::find_if(sockets_.begin(), sockets_.end(), [](const SocketEntry& s) {
            return s.kind == FakeServerSocket::control && s.open;
        });
        if (it == sockets_.end()) {
            return false;
        }
        id = it->hostID;
    }
    return adb_->sendOnStream(id, encodeDeviceMessage(message));
}

bool FakeDeviceServer::sendExt(const ExtMessage& message) {
    std::uint32_t id = 0;
    {
        std::lock_guard lock(mutex_);
        const auto it = std::find_if(sockets_.begin(), sockets_.end(), [](const SocketEntry& s) {
            return s.kind == FakeServerSocket::ext && s.open;
        });
        if (it == sockets_.end()) {
            return false;
        }
        id = it->hostID;
    }
    return adb_->sendOnStream(id, ExtCodec::encode(message));
}

bool FakeDeviceServer::isRunning() const {
    std::lock_guard lock(mutex_);
    return state_ == State::running;
}

std::vector<std::string> FakeDeviceServer::startCommands() const {
    std::lock_guard lock(mutex_);
    return commands_;
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

std::vector<std::string> FakeDeviceServer::violations() const {
    std::lock_guard lock(mutex_);
    return violations_;
}

const Bytes& FakeDeviceServer::videoStream(VideoCodec codec) {
    static const auto make = [](const char* fixture, VideoCodec c) {
        BinaryWriter out;
        writeSession(out, StreamSession{{1280, 720}, false});
        for (const StreamPacket& packet : accessUnitPackets(loadFixture(fixture), c, 30)) {
            writePacket(out, packet);
        }
        return out.take();
    };
    static const Bytes h264 = make("h264-720p.h264", VideoCodec::h264);
    static const Bytes h265 = make("hevc-720p.h265", VideoCodec::h265);
    return codec == VideoCodec::h264 ? h264 : h265;
}

Bytes FakeDeviceServer::audioStream(std::size_t packets) {
    constexpr int framesPerPacket = 960;  // 20 ms at 48 kHz
    BinaryWriter out;
    writeCodecID(out, rawValue(AudioCodec::raw));
    for (std::size_t p = 0; p < packets; ++p) {
        StreamPacket packet;
        packet.ptsMicros = static_cast<std::int64_t>(p) * 20000;
        packet.data.reserve(framesPerPacket * 4);
        for (int i = 0; i < framesPerPacket; ++i) {
            const double t =
                static_cast<double>(p * framesPerPacket + static_cast<std::size_t>(i)) / 48000.0;
            const auto sample =
                static_cast<std::int16_t>(8000 * std::sin(2 * std::numbers::pi * 440 * t));
            for (int channel = 0; channel < 2; ++channel) {
                // Little-endian, as the phone's PCM comes.
                packet.data.push_back(static_cast<std::uint8_t>(sample & 0xFF));
                packet.data.push_back(static_cast<std::uint8_t>((sample >> 8) & 0xFF));
            }
        }
        writePacket(out, packet);
    }
    return out.take();
}

void FakeDeviceServer::violation(std::string what) {
    violations_.push_back(std::move(what));
}

}  // namespace qm::test
