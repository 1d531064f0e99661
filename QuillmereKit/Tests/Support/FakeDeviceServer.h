#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "QuillmereCore/ControlMessage.h"
#include "QuillmereCore/StreamTypes.h"
#include "ServerProtocol/DeviceMessage.h"
#include "ServerProtocol/ExtMessage.h"
#include "Support/FakeAdbStreams.h"
#include "Support/FakeControlReader.h"
#include "Support/FakeServerMedia.h"
#include "Support/FakeStartCommand.h"

namespace qm::test {

class FakeAdbDevice;
class FakePhoneServices;

enum class FakeServerSocket { video, audio, control, ext };

// One piece of the video stream as the server handed it to its socket.
struct FakeVideoSend {
    StreamPacket::Kind kind = StreamPacket::Kind::frame;
    std::optional<std::int64_t> ptsMicros;
    std::uint64_t sentNanos = 0;  // HostClock, once the socket had every byte
};

// How the fake device server behaves.
struct FakeServerScript {
    // The server's own version: a start command naming another one gets the server's complaint.
    std::string version = "4.1+qm2";
    std::string startupOutput = "[server] INFO: Device: QM One (Android 14)\n";
    std::string deviceName = "QM One";
    // Socket opens refused while the server is still coming up.
    std::size_t refusedWhileStarting = 2;
    // Sockets that never accept.
    std::set<FakeServerSocket> refused;

    enum class Fault {
        none,
        dieAtStart,           // prints `deathOutput` and exits before listening
        dieOnVideoOpen,       // accepts the video socket, then exits before the dummy byte
        dropVideoBeforeName,  // closes the video socket instead of sending the name; runs on
    };
    Fault fault = Fault::none;
    std::string deathOutput = "Aborted: java.lang.IllegalStateException\n";

    // What the video socket plays after its codec id, by the requested codec: the fixture of
    // that codec when none. Paced, at the clip's frame rate instead of as fast as the host
    // takes it; looping, over and over with rising times until the server ends (paced only).
    std::map<VideoCodec, std::shared_ptr<const FakeVideoClip>> videoClips;
    // Sent in place of the requested codec's id.
    std::optional<std::uint32_t> videoCodecID;
    bool pacedVideo = false;
    bool loopVideo = false;

    std::uint32_t audioCodecID = rawValue(AudioCodec::raw);
    std::size_t audioPackets = 5;  // 20 ms of 48 kHz stereo sine each
    bool pacedAudio = false;       // one packet every 20 ms
    bool loopAudio = false;        // paced only: over and over, with rising times
    // Bytes that are no packets, sent after the codec id in place of the sine.
    std::size_t audioGarbage = 0;

    // The start command waits, its shell open, until the test calls releaseStart().
    bool holdStart = false;

    enum class HelloReply { ack, error, silence };
    HelloReply helloReply = HelloReply::ack;
    std::uint16_t extVersion = 2;
    std::string extErrorText = "extension disabled";
    std::int64_t clockOffsetNanos = 0;  // added to this machine's clock in the phone's answers
    // Added to the sound's stamps: a server whose sound clock is not its picture's.
    std::int64_t soundStampShiftMicros = 0;
    // A pong leaves `pongDelay` plus up to `pongJitter` after its ping came, the phone reading
    // its clock `pongClockAt` of the way through (0 on the ping's arrival, 1 as it answers).
    std::chrono::microseconds pongDelay{0};
    std::chrono::microseconds pongJitter{0};
    double pongClockAt = 0.5;
    // After its helloAck the extension socket answers nothing and sends no telemetry.
    bool extSilentAfterHello = false;

    enum class AppListReply {
        answer,
        late,   // held until releaseLateAppLists()
        never,  // the request is swallowed
        error,  // `appListErrorText`
    };
    AppListReply appListReply = AppListReply::answer;
    std::string appListErrorText = "list apps failed: package service unavailable";
    std::vector<AppInfo> apps;  // two apps with PNG icons when left empty

    // Video presentation times on the phone's monotonic clock (this machine's plus the offset),
    // the clip ending as the video socket is served, or starting then when paced; paced audio's
    // too. Otherwise counted from zero.
    bool videoOnPhoneClock = false;
    // The video is the phone's screen with the flash page: grey until the phone's browser opens
    // the page, then, at 60 fps and at each flip this long after it, the colour the page had
    // on the phone's wall clock this long before. H.264 only.
    std::optional<std::chrono::milliseconds> flashPageDelay;
    PhoneTelemetry telemetry{1,     41.5, 80,
                             30.25, true, PhoneEncoderStats{60, 4200, 6100, 9800, 512000}};
    // Each control message as it arrives, on the phone's thread, without the server's lock.
    std::function<void(const ControlMessage&)> onControl;
};

// The device server inside the fake phone. It accepts the start command only word by word as
// the launcher must send it (after the jar was pushed), listens on its abstract sockets and
// serves them in the described order: video (dummy byte, name, codec id, packets cut from a
// real H.264/HEVC clip; a config and key frame for every resetVideo), audio (raw PCM),
// control (every message decoded and kept; device messages on request) and extension (hello,
// pongs on its own clock after a scripted delay, app lists, telemetry, and the faults a phone
// may show). Once a server has ended the next start command runs a new one; a start while one
// runs is a violation, as is every other departure of the host. Thread-safe; media is sent
// from threads of its own.
class FakeDeviceServer {
public:
    FakeDeviceServer() = default;
    ~FakeDeviceServer();
    FakeDeviceServer(const FakeDeviceServer&) = delete;
    FakeDeviceServer& operator=(const FakeDeviceServer&) = delete;

    // Where it runs; set once by the phone.
    void install(FakeAdbDevice& adb, FakePhoneServices& services);
    // Stops the telemetry ticker; called before the phone goes.
    void stop();

    void setScript(FakeServerScript script);

    // The services of the phone that belong to the server: its start command and its sockets.
    // None when `name` is not the server's, or to refuse the socket.
    std::unique_ptr<FakeService> open(const std::string& name, std::uint32_t hostID);

    // The server exits now with `output`: its shell stream ends and every socket closes.
    void die(const std::string& output);
    // The phone's browser shows `html`; a flash page makes the flash video flash.
    void showPage(const std::string& html);
    // The phone's wall clock in nanoseconds since 1970 at a time of this machine's clock: it
    // advances with the monotonic clock, as the phone's does between two of its readings.
    static std::int64_t phoneWallNanos(std::uint64_t hostNanos);

    // The held start command runs now; false when none waits.
    bool releaseStart();
    bool sendDeviceMessage(const DeviceMessage& message);
    // Any bytes at all on the control socket.
    bool sendControlBytes(Bytes bytes);
    bool sendExt(const ExtMessage& message);
    // A frame of a type the extension protocol does not have.
    bool sendMalformedExt();
    // The extension socket closes alone; the server and its other sockets run on.
    bool closeExt() { return closeAlone(FakeServerSocket::ext); }
    // The control socket closes alone, as when the server's input thread dies.
    bool closeControl() { return closeAlone(FakeServerSocket::control); }
    // Answers the app-list requests held back as late; returns how many.
    std::size_t releaseLateAppLists();

    bool isRunning() const;
    std::vector<std::string> startCommands() const;
    std::vector<FakeServerSocket> acceptedSockets() const;
    // Opens of the sockets the script refuses forever.
    std::size_t scriptedRefusals() const;
    // The server's streams the host closed, in order; the shell is "shell".
    std::vector<std::string> closedByHost() const;
    std::vector<ControlMessage> controlMessages() const;
    std::vector<ExtMessage> extMessages() const;
    std::vector<FakeVideoSend> videoSends() const;
    // Bytes of that kind of socket the host acknowledged, over every run.
    std::uint64_t bytesTaken(FakeServerSocket kind) const;
    std::vector<std::string> violations() const;

    class Shell;
    class Socket;

private:
    enum class State { idle, held, running, exited };
    struct SocketEntry {
        FakeServerSocket kind;
        std::uint32_t hostID;
        bool open;
    };

    std::optional<FakeStartCommand> check(const std::string& command);
    std::string socketName(bool ext) const;
    std::vector<FakeServerSocket> mediaOrder() const;

    // Callbacks of the services, on the phone's thread.
    void started(FakeStreamEnd& phone, const std::string& command);
    void taken(FakeServerSocket kind, std::size_t bytes);
    void socketOpened(FakeStreamEnd& phone, FakeServerSocket kind);
    void received(FakeStreamEnd& phone, FakeServerSocket kind, ByteView data);
    void hostClosed(FakeStreamEnd& phone, const std::string& what);
    void answerExt(FakeStreamEnd& phone, const ExtMessage& message);

    // Runs the server of `command` if the state is still `from`; the lock must not be held.
    void run(FakePhoneStreams& phone, const std::string& command, State from);
    // Ends the server through `phone`; the lock must not be held.
    void exit(FakePhoneStreams& phone, const std::string& output);
    void endRun();
    void feedVideo(std::stop_token stop, std::uint32_t hostID, std::size_t run);
    void feedFlash(std::stop_token stop, std::uint32_t hostID, std::size_t run);
    void feedAudio(std::stop_token stop, std::uint32_t hostID, std::size_t run);
    // The lock must be held: what the video socket plays for `codec`, and why there is none.
    std::shared_ptr<const FakeVideoClip> videoClip(VideoCodec codec) const;
    std::optional<std::string> missingClip(VideoCodec codec) const;
    // Runs a feeder; one that fails ends the server with its reason.
    void feedOrDie(const std::function<void()>& feed);
    bool isCurrent(std::size_t run, const std::stop_token& stop) const;
    // Without the lock.
    bool sendVideo(std::uint32_t hostID, const std::vector<StreamPacket>& packets,
                   std::optional<StreamSession> session);
    void tick(std::stop_token stop);
    // The lock must be held.
    void queuePong(std::uint64_t clientNanos, std::uint32_t extID);
    // Sends the delayed pongs, in order, each at its time.
    void answerPongs(std::stop_token stop);
    // The open socket of that kind, or none; the lock must be held.
    std::optional<std::uint32_t> openID(FakeServerSocket kind) const;
    bool closeAlone(FakeServerSocket kind);
    bool sendOnExt(Bytes frame);
    void violation(std::string what);

    FakeAdbDevice* adb_ = nullptr;
    FakePhoneServices* services_ = nullptr;

    mutable std::mutex mutex_;
    FakeServerScript script_;
    State state_ = State::idle;
    std::size_t run_ = 0;
    std::string heldCommand_;
    FakeStartCommand parsed_;
    std::uint32_t shellID_ = 0;
    std::vector<SocketEntry> sockets_;  // accepted, in order
    std::size_t refusals_ = 0;
    std::size_t scriptedRefusals_ = 0;
    std::vector<std::string> commands_;
    std::vector<std::string> closedByHost_;
    FakeControlReader controlReader_;
    std::vector<ControlMessage> control_;
    Bytes extPending_;
    std::vector<ExtMessage> ext_;
    bool helloSeen_ = false;
    std::chrono::milliseconds telemetryInterval_{0};
    std::uint32_t extID_ = 0;
    bool stopped_ = false;
    bool resetPending_ = false;
    bool flashPageShown_ = false;
    std::vector<FakeVideoSend> videoSends_;
    std::map<FakeServerSocket, std::uint64_t> taken_;
    std::vector<std::string> violations_;

    struct DelayedPong {
        std::chrono::steady_clock::time_point clockAt;
        std::chrono::steady_clock::time_point sendAt;
        std::uint64_t clientNanos;
        std::uint32_t extID;
    };
    std::deque<DelayedPong> pongs_;
    std::minstd_rand jitter_;  // default-seeded: the same delays every run
    std::size_t lateAppLists_ = 0;

    std::condition_variable_any feedWake_;
    std::vector<std::jthread> feeders_;  // of every run, joined by stop()

    std::jthread ticker_;
    std::condition_variable_any pongWake_;
    std::jthread ponger_;
};

}  // namespace qm::test
