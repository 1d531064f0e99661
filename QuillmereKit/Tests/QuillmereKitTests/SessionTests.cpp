// The session through the device link on the fake USB bus and the real launcher, against the
// fake phone: launches, teardowns, reconnection, the decoder ladder, sound and recording.
#include <QCoreApplication>
#include <QMetaProperty>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <pthread.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "AudioPipeline/AudioPlayerError.h"
#include "DeviceLink/DeviceLink.h"
#include "QuillmereCore/HostClock.h"
#include "QuillmereCore/Log.h"
#include "QuillmereCore/MemoryByteChannel.h"
#include "QuillmereCore/SerialQueue.h"
#include "QuillmereKit/Demo/DemoStreamFormat.h"
#include "QuillmereKit/Diagnostics/ErrorPresenter.h"
#include "QuillmereKit/Session/Session.h"
#include "ServerProtocol/ServerLogChannel.h"
#include "Support/CommandOutput.h"
#include "Support/FakePhoneSessionTest.h"
#include "Support/FakeServerMedia.h"
#include "Support/GlTestContext.h"
#include "Support/LogSince.h"
#include "Support/ManualExecutor.h"
#include "Support/ManualTimerSource.h"
#include "Support/VirtualClock.h"
#include "VideoPipeline/View/VideoView.h"

namespace qm::test {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::Pair;
using Kind = SessionPhase::Kind;

// Every decode fails, as a decoder that cannot cope with the stream. Counts how many are let go,
// and how many of them on the thread that made them (the GUI thread).
class FailingBackend final : public VideoDecoderBackend {
public:
    struct Releases {
        std::atomic<int> all = 0;
        std::atomic<int> onMakersThread = 0;
    };

    explicit FailingBackend(std::shared_ptr<Releases> releases) : releases_(std::move(releases)) {}
    ~FailingBackend() override {
        ++releases_->all;
        releases_->onMakersThread += std::this_thread::get_id() == maker_;
    }

    void createSession(const FormatDescription&) override { session_ = true; }
    void invalidateSession() noexcept override { session_ = false; }
    bool hasSession() const noexcept override { return session_; }
    std::int32_t decode(std::span<const ByteView>, std::int64_t, const PictureHandler&) override {
        return -EIO;
    }

private:
    bool session_ = false;
    std::shared_ptr<Releases> releases_;
    std::thread::id maker_ = std::this_thread::get_id();
};

// Decodes nothing; a decode waits while the gate is shut, as a slow picture would.
class GatedBackend final : public VideoDecoderBackend {
public:
    struct Gate {
        std::mutex mutex;
        std::condition_variable changed;
        bool open = false;
        bool entered = false;
    };

    explicit GatedBackend(std::shared_ptr<Gate> gate) : gate_(std::move(gate)) {}

    void createSession(const FormatDescription&) override { session_ = true; }
    void invalidateSession() noexcept override { session_ = false; }
    bool hasSession() const noexcept override { return session_; }
    std::int32_t decode(std::span<const ByteView>, std::int64_t, const PictureHandler&) override {
        std::unique_lock lock(gate_->mutex);
        gate_->entered = true;
        gate_->changed.notify_all();
        gate_->changed.wait(lock, [&] { return gate_->open; });
        return 0;
    }

private:
    bool session_ = false;
    std::shared_ptr<Gate> gate_;
};

// The priorities the session's threads asked for, by thread name.
struct PriorityRecord {
    std::mutex mutex;
    std::vector<std::pair<std::string, ThreadPriority>> asked;

    SetThreadPriority setter() {
        return [this](ThreadPriority priority) {
            std::array<char, 16> name{};
            pthread_getname_np(pthread_self(), name.data(), name.size());
            std::lock_guard lock(mutex);
            asked.emplace_back(name.data(), priority);
        };
    }
};

FakeStartCommand parsed(const std::string& command) {
    std::string problem;
    return readStartCommand(command, problem).value();
}

class SessionTest : public FakePhoneSessionTest {
protected:
    std::uint32_t runningScid() { return parsed(server().startCommands().back()).scid; }
    // The key presses or releases the phone has had.
    std::ptrdiff_t keys(KeyAction action) {
        const std::vector<ControlMessage> control = server().controlMessages();
        return std::ranges::count_if(control, [action](const ControlMessage& message) {
            const auto* key = std::get_if<InjectKeycode>(&message);
            return key && key->action == action;
        });
    }

    static ServerOptions options(std::uint32_t scid = 0x1234) { return ServerOptions(scid); }
    std::size_t countLog(std::string_view text) const { return log_.count(text); }

    LogSince log_;
};

TEST_F(SessionTest, WholeStreamReachesTheStageThePhoneAndTheSpeaker) {
    PriorityRecord priorities;
    SessionEnvironment environment;
    environment.setThreadPriority = priorities.setter();
    Session& session = connect(std::move(environment));
    std::vector<std::pair<Kind, bool>> phases;  // with whether it can be recorded
    QObject::connect(&session, &StreamingSession::phaseChanged,
                     [&] { phases.emplace_back(session.phase().kind(), session.canRecord()); });
    session.input().setMode(InputMode::keyboardMouse);

    settle(session.start("com.tressik.racer", options()));
    ASSERT_EQ(session.phase(), SessionPhase::streaming());
    EXPECT_TRUE(session.canRecord());
    EXPECT_TRUE(until([&] { return frames_->count() == 30; }));  // the whole clip
    session.input().handle(KeyDownEvent{0, {}, false});
    session.input().handle(KeyUpEvent{0, {}});
    ASSERT_TRUE(until([&] { return server().controlMessages().size() == 3; }));
    const std::vector<ControlMessage> control = server().controlMessages();
    EXPECT_EQ(control[0], ControlMessage(StartApp{"com.tressik.racer"}));
    EXPECT_EQ(std::get<InjectKeycode>(control[1]).action, KeyAction::down);
    EXPECT_EQ(std::get<InjectKeycode>(control[2]).action, KeyAction::up);
    EXPECT_TRUE(until(
        [&] { return server().bytesTaken(FakeServerSocket::audio) == fakeAudioStream(5).size(); }));
    EXPECT_TRUE(until([&] { return !players_.empty() && players_[0]->packets == 5; }));

    const auto stats = session.property("stats").value<SessionStats>();
    EXPECT_FALSE(stats.latencyValue().isValid());  // an absent figure reads as undefined
    EXPECT_EQ(session.property("phase").value<SessionPhase>().kind(), Kind::streaming);
    const QMetaObject& meta = *session.metaObject();
    for (const char* name : {"phase", "stats", "videoGeometry", "isAudioMuted", "canRecord"}) {
        EXPECT_TRUE(meta.property(meta.indexOfProperty(name)).hasNotifySignal()) << name;
    }

    settle(session.stop());
    EXPECT_EQ(session.phase(), SessionPhase::idle());
    EXPECT_FALSE(session.canRecord());
    EXPECT_THAT(phases, ElementsAre(Pair(Kind::starting, false), Pair(Kind::streaming, true),
                                    Pair(Kind::idle, false)));
    EXPECT_THAT(
        priorities.asked,
        ::testing::UnorderedElementsAre(
            std::pair<std::string, ThreadPriority>("video.read", ThreadPriority::userInteractive),
            std::pair<std::string, ThreadPriority>("control.write", ThreadPriority::high)));
    EXPECT_EQ(players_[0]->stops, 1);
    EXPECT_EQ(players_[0]->stopsOnGuiThread, 0);
    EXPECT_TRUE(until([&] { return devices_[0]->phone()->adb().openStreamCount() == 0; }));
}

TEST_F(SessionTest, StopDuringTheLaunchClosesEverythingAndStaysIdle) {
    script_.holdStart = true;
    Session& session = connect();
    const GuiTask<void> started = session.start(std::nullopt, options());
    ASSERT_TRUE(until([&] { return server().startCommands().size() == 1; }));

    settle(session.stop());
    settle(started);
    EXPECT_EQ(session.phase(), SessionPhase::idle());
    EXPECT_TRUE(until([&] { return devices_[0]->phone()->adb().openStreamCount() == 0; }));
    EXPECT_FALSE(server().releaseStart());
    EXPECT_FALSE(server().isRunning());
}

// The server's sockets and output end with the cable as with its death: the phone is what went.
TEST_F(SessionTest, ACablePulledDuringTheLaunchIsALostPhoneNotADeadServer) {
    script_.holdStart = true;
    Session& session = connect();
    session.start(std::nullopt, options());
    ASSERT_TRUE(until([&] { return server().startCommands().size() == 1; }));

    usb_.detach(phoneA.interfaceID);
    ASSERT_TRUE(until([&] { return session.phase().kind() == Kind::failed; }));
    EXPECT_EQ(session.phase(), SessionPhase::failed(SessionFailure::disconnected()));
}

TEST_F(SessionTest, OfTwoQuickStartsOnlyTheSecondStreams) {
    script_.holdStart = true;
    Session& session = connect();
    const GuiTask<void> first = session.start("com.example.first", options(1));
    ASSERT_TRUE(until([&] { return server().startCommands().size() == 1; }));
    const GuiTask<void> second = session.start("com.example.second", options(2));
    ASSERT_TRUE(until([&] { return server().startCommands().size() == 2; }));
    EXPECT_TRUE(server().releaseStart());

    settle(second);
    settle(first);
    EXPECT_EQ(session.phase(), SessionPhase::streaming());
    EXPECT_EQ(runningScid(), 2u);
    ASSERT_TRUE(until([&] { return server().controlMessages().size() == 1; }));
    EXPECT_EQ(server().controlMessages()[0], ControlMessage(StartApp{"com.example.second"}));
}

TEST_F(SessionTest, PulledCableWaitsAndThePhoneComingBackRestartsAtOnce) {
    Session& session = connect();
    settle(session.start(std::nullopt, options()));
    const std::uint32_t first = runningScid();
    ASSERT_TRUE(until([&] { return frames_->count() == 30; }));

    usb_.detach(phoneA.interfaceID);
    ASSERT_TRUE(until([&] { return session.phase() == SessionPhase::waitingForDevice(); }));
    EXPECT_FALSE(session.canRecord());
    attachPhone();
    ASSERT_TRUE(streams());
    EXPECT_NE(runningScid(), first);
    EXPECT_TRUE(until([&] { return frames_->count() == 60; }));
}

TEST_F(SessionTest, DeadServerIsRetriedAfterHalfASecondAndStopEndsTheWait) {
    Session& session = connect();
    settle(session.start(std::nullopt, options()));
    const std::uint32_t first = runningScid();

    server().die("Killed\n");
    ASSERT_TRUE(until([&] {
        return session.phase() == SessionPhase::waitingForDevice() && timers_->pending() == 1;
    }));
    timers_->advance(499ms);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(server().startCommands().size(), 1u);
    timers_->advance(1ms);
    ASSERT_TRUE(streams());
    EXPECT_EQ(server().startCommands().size(), 2u);
    EXPECT_NE(runningScid(), first);

    // Stopped during the next retry's delay: the retry finds nothing to do.
    server().die("Killed\n");
    ASSERT_TRUE(until([&] { return timers_->pending() == 1; }));
    settle(session.stop());
    timers_->advance(2s);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(session.phase(), SessionPhase::idle());
    EXPECT_EQ(server().startCommands().size(), 2u);
}

TEST_F(SessionTest, EveryLaunchCapturesIntoAFileOfItsOwnThatPlaysAsTheDemo) {
    VirtualClock clock;
    SessionEnvironment environment;
    environment.demoClock = clock.taskClock();
    Session& session = connect(std::move(environment));
    std::vector<QString> failures;
    QObject::connect(&session, &StreamingSession::rawCaptureFailed,
                     [&](const QString& reason) { failures.push_back(reason); });
    const std::filesystem::path captures = folder_ / "Captures";
    session.setRawStreamTapPath(captures / "capture.qmstream");
    settle(session.start(std::nullopt, options()));
    ASSERT_TRUE(until([&] { return frames_->count() == 30; }));

    // Relaunched after the server died, then for other options.
    server().die("Killed\n");
    ASSERT_TRUE(until([&] { return timers_->pending() == 1; }));
    timers_->advance(500ms);
    ASSERT_TRUE(streams());
    ASSERT_TRUE(until([&] { return frames_->count() == 60; }));
    ServerOptions smaller = options();
    smaller.maxSize = 720;
    session.restartStream(smaller);
    ASSERT_TRUE(until([&] { return frames_->count() == 90; }));
    settle(session.stop());
    EXPECT_EQ(countLog("raw stream tap failed"), 0u);
    EXPECT_TRUE(failures.empty());

    for (const char* name : {"capture.qmstream", "capture-1.qmstream", "capture-2.qmstream"}) {
        SCOPED_TRACE(name);
        const std::size_t before = frames_->count();
        settle(session.startDemo(captures / name));
        EXPECT_EQ(session.phase(), SessionPhase::streaming());
        EXPECT_TRUE(until([&] { return frames_->count() >= before + 30; }));
        settle(session.stop());
    }

    // A capture that cannot start is said, and the stream plays on without it; the log keeps
    // its path private.
    const PrivateValuesHidden hidden;
    std::ofstream(folder_ / "taken") << "x";
    session.setRawStreamTapPath(folder_ / "taken" / "capture.qmstream");
    settle(session.start(std::nullopt, options()));
    EXPECT_EQ(session.phase(), SessionPhase::streaming());
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0], "cannot create the folder taken: File exists");
    EXPECT_EQ(countLog("raw stream tap failed: <private>"), 1u);
}

TEST_F(SessionTest, DecoderLadderAsksForKeyFramesFallsBackToH264AndThenGivesUp) {
    // One key frame each: every further one answers a resetVideo.
    for (const VideoCodec codec : {VideoCodec::h264, VideoCodec::h265}) {
        script_.videoClips[codec] = fakeVideoClip(codec)->head(11);
    }
    auto releases = std::make_shared<FailingBackend::Releases>();
    SessionEnvironment environment;
    environment.makeDecoderBackend = [releases] {
        return std::make_unique<FailingBackend>(releases);
    };
    Session& session = connect(std::move(environment));
    ServerOptions hevc = options();
    hevc.videoCodec = VideoCodec::h265;
    session.start(std::nullopt, hevc);

    ASSERT_TRUE(until([&] { return session.phase().kind() == Kind::failed; }));
    EXPECT_EQ(session.phase(), SessionPhase::failed(SessionFailure::decoderFailed()));
    const std::vector<std::string> commands = server().startCommands();
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(parsed(commands[0]).codec, VideoCodec::h265);
    EXPECT_EQ(parsed(commands[1]).codec, VideoCodec::h264);
    const std::vector<ControlMessage> control = server().controlMessages();
    // Two steps on each stream before it falls back or gives up.
    EXPECT_EQ(std::count(control.begin(), control.end(), ControlMessage(ResetVideo{})), 4);
    EXPECT_TRUE(until([&] { return !server().isRunning(); }));
    // Letting a codec go joins its threads: both went on the teardown worker.
    EXPECT_TRUE(until([&] { return releases->all == 2; }));
    EXPECT_EQ(releases->onMakersThread, 0);
}

// A restart keeps the sound muted and lets go on the old stream of what is held.
TEST_F(SessionTest, MuteHoldsAcrossRestartsAndAHeldKeyGoesUpFirst) {
    Session& session = connect();
    session.setAudioMuted(true);
    session.input().setMode(InputMode::keyboardMouse);
    settle(session.start(std::nullopt, options()));
    ASSERT_EQ(players_.size(), 1u);
    EXPECT_TRUE(players_[0]->muted);
    session.input().handle(KeyDownEvent{0, {}, false});
    ASSERT_TRUE(until([&] { return keys(KeyAction::down) == 1; }));

    ServerOptions lighter = options();
    lighter.maxFps = 30;
    session.restartStream(lighter);
    ASSERT_TRUE(until([&] { return players_.size() == 2 && session.canRecord(); }));
    EXPECT_EQ(keys(KeyAction::up), 1);
    EXPECT_TRUE(players_[1]->muted);
    session.setAudioMuted(false);
    EXPECT_FALSE(players_[1]->muted);
}

// The phone's server ends with its video socket: a stop lets a slow control socket take the
// releases of what is held before it closes anything.
TEST_F(SessionTest, AStopClosesTheSocketsOnlyOnceTheHeldKeysWentUpOnASlowControlSocket) {
    VirtualClock drain(0, 0);  // a teardown's wait for the control writer never runs out
    SessionEnvironment environment;
    environment.drainClock = drain.taskClock();
    Session& session = connect(std::move(environment));
    session.input().setMode(InputMode::keyboardMouse);
    settle(session.start(std::nullopt, options()));
    session.input().handle(KeyDownEvent{0, {}, false});
    ASSERT_TRUE(until([&] { return keys(KeyAction::down) == 1; }));
    // The second press waits for the phone's OKAY; the releases queue behind it.
    devices_[0]->phone()->adb().withholdOkays();
    session.input().handle(KeyDownEvent{1, {}, false});
    ASSERT_TRUE(until([&] { return keys(KeyAction::down) == 2; }));

    const GuiTask<void> stopped = session.stop();
    ASSERT_TRUE(until([&] { return drain.parked() || stopped.isSettled(); }));
    devices_[0]->phone()->adb().releaseWithheldOkays();
    settle(stopped);
    EXPECT_EQ(keys(KeyAction::up), 2);
}

// A stream whose control socket fails would play on deaf to the user: it restarts at once.
TEST_F(SessionTest, AFailedControlWriteEndsTheStreamAtOnceAndItComesBack) {
    Session& session = connect();
    session.input().setMode(InputMode::keyboardMouse);
    settle(session.start(std::nullopt, options()));
    const std::uint32_t first = runningScid();
    ASSERT_TRUE(server().closeControl());

    session.input().handle(KeyDownEvent{0, {}, false});
    ASSERT_TRUE(until([&] {
        return session.phase() == SessionPhase::waitingForDevice() && timers_->pending() == 1;
    }));
    timers_->advance(500ms);
    ASSERT_TRUE(streams());
    EXPECT_NE(runningScid(), first);
}

TEST_F(SessionTest, RecordingsEndStoppedOrWithTheStreamAndHoldVideoAndStereoAac) {
    script_.pacedVideo = script_.loopVideo = true;
    script_.pacedAudio = true;
    script_.audioPackets = 1500;  // 30 s
    Session& session = connect();
    std::vector<RecordingEnd> ends;
    session.onRecordingEnded = [&](const RecordingEnd& end) { ends.push_back(end); };
    settle(session.start(std::nullopt, options()));
    ASSERT_TRUE(playsWithSound());

    const std::filesystem::path stopped = folder_ / "Movies" / "stopped.mp4";
    session.startRecording(stopped);
    EXPECT_TRUE(session.isRecording());
    EXPECT_THROW(session.startRecording(folder_ / "again.mp4"), RecordingError);
    ASSERT_TRUE(framesArrive(20));
    const auto saved = fromCompletion<std::filesystem::path>(
        &context_, [&](auto done) { session.stopRecording(std::move(done)); });
    EXPECT_EQ(outcomeOf(saved).get(), stopped);
    EXPECT_FALSE(session.isRecording());
    const nlohmann::json tracks = probedStreams(stopped);
    ASSERT_EQ(tracks.size(), 2u) << tracks;
    EXPECT_EQ(tracks[0]["codec_name"], "h264");
    EXPECT_EQ(tracks[1]["codec_name"], "aac");
    EXPECT_EQ(tracks[1]["channels"], 2);

    const std::filesystem::path torn = folder_ / "torn.mp4";
    session.startRecording(torn);
    ASSERT_TRUE(framesArrive(20));
    settle(session.stop());
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].url, torn);
    EXPECT_FALSE(ends[0].error) << describe(ends[0].error);
    EXPECT_EQ(probedStreams(torn)[0]["codec_name"], "h264");
}

TEST_F(SessionTest, AStopReturnsWhileTheRecordingIsStillBeingFinished) {
    script_.pacedVideo = script_.loopVideo = true;
    // A recorder queue that writes only when drained stands for a slow disk.
    auto disk = std::make_shared<test::ManualExecutor>();
    SessionEnvironment environment;
    environment.recorderQueue = disk;
    Session& session = connect(std::move(environment));
    settle(session.start(std::nullopt, options()));
    ASSERT_TRUE(framesArrive(1));
    const std::filesystem::path file = folder_ / "slow.mp4";
    session.startRecording(file);
    ASSERT_TRUE(framesArrive(40));

    std::optional<TaskOutcome<std::filesystem::path>> saved;
    session.stopRecording([&](TaskOutcome<std::filesystem::path> outcome) { saved = outcome; });
    EXPECT_FALSE(saved) << "the stop waited for the file to be finished";
    disk->drain();
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->get(), file);
}

// Logged with their text, and told to the user as what the phone refused.
TEST_F(SessionTest, CodecIdsThatCannotPlayFailWithTheirText) {
    Session& session = connect();
    struct Case {
        std::uint32_t id;
        std::string text;
        const char* message;
    };
    for (const auto& [id, text, message] : std::vector<Case>{
             {0, "video stream disabled by the device", ErrorPresenter::Key::streamDisabled},
             {1, "server configuration error", ErrorPresenter::Key::encoderRejected},
             {0x68323636, "unsupported video codec 0x68323636", ErrorPresenter::Key::generic},
         }) {
        FakeServerScript script = script_;
        script.videoCodecID = id;
        server().setScript(script);
        settle(session.start(std::nullopt, options()));
        ASSERT_EQ(session.phase().kind(), Kind::failed);
        EXPECT_EQ(session.phase().failure()->text(), text);
        EXPECT_EQ(ErrorPresenter::present(*session.phase().failure()).messageKey, message);
    }
}

TEST_F(SessionTest, WhatCannotBeReadIsDrainedAndTheVideoPlaysOn) {
    script_.pacedVideo = script_.loopVideo = true;
    script_.audioGarbage = 1 << 20;
    Session& session = connect();
    settle(session.start(std::nullopt, options()));
    const Bytes junk(64 * 1024, 0x63);  // device message type 99, which nobody knows
    ASSERT_TRUE(server().sendControlBytes(junk));

    // The link takes bytes ahead of the readers, so their lines may come after the last byte.
    EXPECT_TRUE(until([&] {
        return server().bytesTaken(FakeServerSocket::audio) == 4 + (1u << 20) &&
               server().bytesTaken(FakeServerSocket::control) == junk.size() &&
               countLog("control socket unreadable") >= 1;
    }));
    EXPECT_TRUE(framesArrive(10));
    EXPECT_EQ(session.phase(), SessionPhase::streaming());
    EXPECT_EQ(countLog("control socket unreadable"), 1u);

    // Sound in a codec the player cannot play: one line, and the socket still read to its end.
    FakeServerScript opus = script_;
    opus.audioGarbage = 0;
    opus.audioCodecID = 0x6f707573;
    opus.audioPackets = 100;
    server().setScript(opus);
    const std::size_t before = countLog("audio stream unavailable");
    const std::uint64_t taken = server().bytesTaken(FakeServerSocket::audio);
    settle(session.start(std::nullopt, options()));
    EXPECT_TRUE(until([&] {
        return server().bytesTaken(FakeServerSocket::audio) ==
                   taken + fakeAudioStream(100).size() &&
               countLog("audio stream unavailable") > before;
    }));
    EXPECT_EQ(countLog("audio stream unavailable"), before + 1);
}

// An output that cannot start, as when the sound server went away since it was made; it counts
// the packets still handed to it.
class StartFails final : public AudioOutput {
public:
    explicit StartFails(std::shared_ptr<std::atomic<int>> packets) : packets_(std::move(packets)) {}
    void start() override { throw AudioPlayerError::device("Connection refused"); }
    void enqueue(const StreamPacket&) override { ++*packets_; }
    void stop() override {}
    bool isMuted() const override { return false; }
    void setMuted(bool) override {}

private:
    std::shared_ptr<std::atomic<int>> packets_;
};

// Without a sound server streams play silently and their sound is still read to its end: the
// history hears of each, the terminal of the first of the process only (at error level, the
// later ones at info), and the window from every session that meets it.
TEST_F(SessionTest, WithoutASoundServerStreamsPlaySilentlyAndTheConsoleHearsOfItOnce) {
    // Two streams with no output made, then two whose output cannot start.
    const auto packets = std::make_shared<std::atomic<int>>(0);
    int made = 0;
    SessionEnvironment environment;
    environment.makeAudioOutput = [&made, packets]() -> std::unique_ptr<AudioOutput> {
        if (made++ < 2) {
            throw AudioPlayerError::device("Connection refused");
        }
        return std::make_unique<StartFails>(packets);
    };
    script_.audioPackets = 100;
    Session& session = connect(std::move(environment));
    int windowTold = 0;
    QObject::connect(&session, &StreamingSession::soundUnavailable, [&] { ++windowTold; });
    for (int start = 1; start <= 4; ++start) {
        const std::string line =
            start <= 2 ? "audio output unavailable: Connection refused"
                       : "audio player failed to start: Connection refused; draining the socket "
                         "without playback";
        SCOPED_TRACE(line);
        const std::uint64_t taken = server().bytesTaken(FakeServerSocket::audio);
        settle(session.start(std::nullopt, options()));
        EXPECT_EQ(session.phase(), SessionPhase::streaming());
        EXPECT_TRUE(until([&] { return countLog(line) == std::size_t(2 - start % 2); }));
        EXPECT_TRUE(until([&] { return windowTold == start; }));
        EXPECT_TRUE(until([&] {
            return server().bytesTaken(FakeServerSocket::audio) ==
                   taken + fakeAudioStream(100).size();
        }));
    }
    EXPECT_EQ(*packets, 200) << "handed to the output that did not start";
    std::vector<spdlog::level::level_enum> levels;
    for (const LogEntry& entry : Log::recentEntries()) {
        if (entry.message.starts_with("audio output unavailable") ||
            entry.message.starts_with("audio player failed to start")) {
            levels.push_back(entry.level);
        }
    }
    EXPECT_THAT(levels, ElementsAre(spdlog::level::err, spdlog::level::info, spdlog::level::info,
                                    spdlog::level::info));
}

TEST_F(SessionTest, TheDemoPlaysTheBundledCaptureInPassesOnFreshDecodersUntilStopped) {
    // No phone and an empty jar.
    link_ = std::make_unique<DeviceLink>(folder_ / "adbkey", "tester@desk");
    auto decoders = std::make_shared<std::atomic<int>>(0);
    VirtualClock clock;
    SessionEnvironment environment;
    environment.timers = timers_;
    environment.renderQueue = frames_;
    environment.demoClock = clock.taskClock();
    environment.makeDecoderBackend = [decoders] {
        ++*decoders;
        return makeSoftwareDecoderBackend();
    };
    session_ = std::make_unique<Session>(*link_, Bytes{}, std::move(environment));
    Session& session = *session_;

    settle(session.startDemo(QM_DEMO_STREAM));
    EXPECT_EQ(session.phase(), SessionPhase::streaming());
    EXPECT_FALSE(session.canRecord());
    // Time runs as fast as the player sleeps; a second decoder opens the second pass.
    ASSERT_TRUE(until([&] { return *decoders >= 2; }));
    EXPECT_GT(frames_->count(), 30u);
    EXPECT_THAT(clock.sleeps(), ::testing::Each(::testing::Le(1s)));
    settle(session.stop());
    EXPECT_EQ(session.phase(), SessionPhase::idle());

    const std::filesystem::path bad = folder_ / "bad.qmstream";
    Bytes file = DemoStreamFormat::header(VideoCodec::h264);
    file[0] = 'X';
    std::ofstream(bad, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()),
               static_cast<std::streamsize>(file.size()));
    settle(session.startDemo(bad));
    EXPECT_EQ(session.phase(), SessionPhase::failed(SessionFailure::serverFailed(
                                   "demo stream: badMagic", false, FailureCause::demoUnreadable,
                                   "demo stream: badMagic")));
}

TEST_F(SessionTest, StoppingADemoNeverWaitsForItsThreadOnTheGuiThread) {
    link_ = std::make_unique<DeviceLink>(folder_ / "adbkey", "tester@desk");
    auto gate = std::make_shared<GatedBackend::Gate>();
    SessionEnvironment environment;
    environment.timers = timers_;
    environment.renderQueue = frames_;
    environment.makeDecoderBackend = [gate] { return std::make_unique<GatedBackend>(gate); };
    session_ = std::make_unique<Session>(*link_, Bytes{}, std::move(environment));
    settle(session_->startDemo(QM_DEMO_STREAM));
    std::unique_lock lock(gate->mutex);
    ASSERT_TRUE(gate->changed.wait_for(lock, 30s, [&] { return gate->entered; }));
    lock.unlock();

    // The decode ends once stop() has returned, or, should stop() wait for it, much later.
    bool returned = false;
    std::jthread opener([&] {
        std::unique_lock openerLock(gate->mutex);
        gate->changed.wait_for(openerLock, 60s, [&] { return returned; });
        gate->open = true;
        gate->changed.notify_all();
    });
    const GuiTask<void> stopped = session_->stop();
    lock.lock();
    EXPECT_FALSE(gate->open) << "stop() waited for the demo's decode";
    returned = true;
    gate->changed.notify_all();
    lock.unlock();
    settle(stopped);
    EXPECT_EQ(session_->phase(), SessionPhase::idle());
}

TEST_F(SessionTest, ALaunchReplacedOnceItsCaptureIsMadeLeavesNoFileBehind) {
    auto video = std::make_shared<MemoryByteChannel>();
    const ServerConnection server{
        "QM One", video,
        nullptr,  std::make_shared<MemoryByteChannel>(),
        nullptr,  std::make_shared<ServerLogChannel>(std::make_shared<MemoryByteChannel>())};
    SessionEnvironment environment;
    environment.timers = timers_;
    environment.renderQueue = frames_;
    session_ = std::make_unique<Session>(
        [server](const ServerOptions&, std::stop_token) { return server; }, std::move(environment));
    const std::filesystem::path capture = folder_ / "captures" / "replaced.qmstream";
    session_->setRawStreamTapPath(capture);
    const GuiTask<void> started = session_->start(std::nullopt, options());
    ASSERT_TRUE(until([&] { return video->parkedReaderCount() == 1; }));  // at the codec id

    // Nothing runs on this thread meanwhile: the launch learns it was replaced only after its
    // worker made the capture.
    video->feed(Bytes{0x68, 0x32, 0x36, 0x34});
    ASSERT_TRUE(eventually([&] { return std::filesystem::exists(capture); }, 30s));
    const GuiTask<void> stopped = session_->stop();
    settle(stopped);
    settle(started);
    EXPECT_EQ(session_->phase(), SessionPhase::idle());
    EXPECT_TRUE(until([&] { return !std::filesystem::exists(capture); }));
}

}  // namespace
}  // namespace qm::test
