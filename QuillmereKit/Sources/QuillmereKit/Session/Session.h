#pragma once

#include <QPointer>
#include <array>
#include <chrono>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <list>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "AudioPipeline/AudioOutput.h"
#include "IPhoneMirror/TimerSource.h"
#include "QuillmereCore/Bytes.h"
#include "QuillmereCore/Executor.h"
#include "QuillmereCore/TaskClock.h"
#include "QuillmereCore/ThreadPriority.h"
#include "QuillmereKit/Session/ReconnectPolicy.h"
#include "QuillmereKit/Session/RecorderBox.h"
#include "QuillmereKit/Session/SessionExtState.h"
#include "QuillmereKit/Session/StreamingSession.h"
#include "QuillmereKit/Session/TaskGroup.h"
#include "QuillmereKit/Tasks/QtExecutor.h"
#include "QuillmereKit/Video/VideoStage.h"
#include "ServerProtocol/ControlOutbox.h"
#include "ServerProtocol/ServerLauncher.h"
#include "Telemetry/FlashClock.h"
#include "VideoPipeline/VideoDecoderBackend.h"

namespace qm {

class DemoPlayer;
class DemoSource;
class DeviceLink;
class RawStreamTap;

// What a session takes from its surroundings. Left empty, each is what the app uses.
struct SessionEnvironment {
    using Instant = ReconnectPolicy::Instant;

    // GUI-thread timers for retry delays and polling: Qt's precise timers.
    std::shared_ptr<TimerSource> timers;
    // The continuous clock, which counts the time the computer slept.
    std::function<Instant()> now;
    // Each stream's sound output, made and released on the GUI thread: an SDL player at
    // 48 kHz, 2 channels, 40 ms of buffer.
    std::function<std::unique_ptr<AudioOutput>()> makeAudioOutput;
    // The codec under each stream's decoder: VAAPI where it works, else software.
    std::function<std::unique_ptr<VideoDecoderBackend>()> makeDecoderBackend;
    // Where the video stage draws: a "render" queue of its own.
    std::shared_ptr<Executor> renderQueue;
    // Where each recording writes: a "recorder" thread of the recording's own.
    std::shared_ptr<Executor> recorderQueue;
    // How long the phone may take to answer the extension hello.
    std::chrono::nanoseconds extHandshakeTimeout = std::chrono::seconds(1);
    // What the demo's packets are paced by: the host clock.
    TaskClock demoClock;
    // What a teardown's wait for the control writer is timed by: the host clock.
    TaskClock drainClock;
    // How the threads that carry frames and input get their priority: through RealtimeKit.
    SetThreadPriority setThreadPriority;
};

// Runs one stream from a phone: launches the device server, reads and writes its sockets on
// worker threads of one group, installs the decoder, publishes the phase, statistics and video
// geometry, restarts a lost stream as its reconnection policy says, plays the sound and records.
//
// GUI thread only. Workers hand their results back queued, with the generation of the launch
// that started them: every teardown advances the generation, so a stale result is dropped and
// a server it carries is closed. A teardown closes the sockets once the control writer has sent
// what it holds (or a limit passed) and joins the workers on a worker; only then does the next
// launch begin, so two launches never meet on the phone.
class Session final : public StreamingSession {
    Q_OBJECT

public:
    // Launches the server and returns its open sockets; gives up when `stop` is requested.
    using Starter = std::function<ServerConnection(const ServerOptions&, std::stop_token)>;
    using PresentObserver = std::function<void(std::int64_t ptsMicros, std::uint64_t presentedNanos,
                                               std::uint64_t decodedNanos)>;
    using ExtObserver = std::function<void(const ExtMessage& message)>;

    // After a dropped stream or failed restarts: the first, the second, later ones.
    static constexpr std::array<Duration, 3> retryDelays = {
        std::chrono::milliseconds(500), std::chrono::seconds(1), std::chrono::seconds(2)};

    // Pushes `jar` and starts the server over the link's connection of the moment; without one
    // a launch fails with disconnected. The link must outlive the session.
    Session(DeviceLink& deviceLink, Bytes jar, SessionEnvironment environment = {},
            QObject* parent = nullptr);
    Session(Starter starter, SessionEnvironment environment = {}, QObject* parent = nullptr);
    // The owner stops the session first. Whatever still runs is closed here and its threads
    // are joined, which the closing makes quick.
    ~Session() override;

    GuiTask<void> start(std::optional<std::string> package, ServerOptions options) override;
    GuiTask<void> stop() override;
    void restartStream(const ServerOptions& options) override;
    void deviceStateChanged(const DeviceLinkState& state) override;
    GuiTask<void> waitWhile(Duration timeout, Duration pollInterval,
                            PhaseCondition condition) override;
    std::optional<StreamRequest> activeRequest() const override { return reconnect_.request(); }
    // What the retry delays and the polling wait on.
    const TimerSource& timers() const noexcept { return *timers_; }
    InputRouter& input() override { return input_; }
    void attach(VideoView* view) override;
    void setRawStreamTapPath(std::optional<std::filesystem::path> path) override {
        rawStreamTapPath_ = std::move(path);
    }
    void startRecording(const std::filesystem::path& url) override;
    void stopRecording(std::function<void(TaskOutcome<std::filesystem::path>)> done) override;
    GuiTask<void> startDemo(std::filesystem::path streamFile) override;
    GuiTask<std::vector<AppInfo>> fetchApps(bool includeAll) override;

    std::optional<FlashClock> flashClock() const override;

    // Hears every presented frame, in order, on the GUI thread.
    void addPresentObserver(PresentObserver observer) {
        presentObservers_.push_back(std::move(observer));
    }
    // Hears every message from the phone's extension channel, in order, on the GUI thread.
    void addExtObserver(ExtObserver observer) { extObservers_.push_back(std::move(observer)); }

private:
    // One launch on its way through its steps.
    struct Launch {
        std::optional<std::string> package;
        ServerOptions options;
        GuiTask<void> done;
        std::int64_t generation = 0;
    };
    struct CodecRead;

    // Lifecycle.
    void launch(Launch launch);
    void serverStarted(Launch launch, ServerConnection server);
    void starterFailed(const Launch& launch, const std::exception_ptr& error);
    void readCodecID(const Launch& launch);
    void codecRead(const Launch& launch, CodecRead& read);
    // Tears the stream down: everything but the joins in this turn. `then` gets the new
    // generation once the threads have ended and a recording has been finished.
    void stopStreaming(std::function<void(std::int64_t)> then = {});
    void fail(const SessionFailure& failure, std::optional<GuiTask<void>> done = std::nullopt);
    // Closes a server that no launch will use, and lets it go on a worker.
    void retire(ServerConnection server);
    void show(SessionPhase phase);
    void updateCanRecord();
    // A phone's stream can be recorded; the demo's cannot.
    bool canRecordIn(const SessionPhase& phase) const;
    // Runs `fire` on this thread after `delay`, unless the session is gone.
    void after(Duration delay, std::function<void()> fire);
    // The extension channel's part of a launch and of a teardown.
    void startExt(std::int64_t generation,
                  const std::function<void(std::optional<SessionFailure>)>& then);
    void resetExt() { ext_.reset(); }

    // Extension channel.
    void extHandshakeEnded(const std::shared_ptr<ExtClient>& client, std::int64_t generation,
                           const std::optional<ExtHello>& hello, const std::exception_ptr& error,
                           const std::function<void(std::optional<SessionFailure>)>& then);
    void startExtReader(std::shared_ptr<ExtClient> client, std::int64_t generation);
    void dispatchExt(const ExtMessage& message, std::uint64_t receivedNanos,
                     std::int64_t generation);
    void extReaderEnded(const ExtClient* client, std::int64_t generation);
    void sendExt(const ExtMessage& message);
    void startClockSync(std::int64_t generation);
    void schedulePing(std::size_t index, const ExtClient* client, std::int64_t generation);
    void handlePong(const ext::Pong& pong, std::uint64_t receivedNanos);
    void startLatencyTracking(std::int64_t generation);
    void recordPresented(std::int64_t ptsMicros, std::uint64_t presentedNanos,
                         std::uint64_t decodedNanos);
    void publishTiming();
    // With an answer, or the phone's error for the oldest request.
    void settleFirstAppListWaiter(TaskOutcome<std::vector<AppInfo>> outcome);
    void timeoutAppListWaiter(const UUID& id);

    // Demo.
    void demoOpened(const GuiTask<void>& done, std::int64_t generation,
                    const std::filesystem::path& streamFile,
                    const std::shared_ptr<DemoSource>& source, const std::exception_ptr& error);

    // Stream tasks.
    // Bound to `generation`; safe off the GUI thread.
    std::shared_ptr<VideoDecoder> makeDecoder(std::int64_t generation);
    void startVideoReader(std::shared_ptr<ByteSource> source, std::int64_t generation);
    void videoReaderEnded(const std::exception_ptr& error, std::int64_t generation);
    void frameSizeChanged(VideoSize size);
    void framePresented(std::int64_t ptsMicros, std::uint64_t presentedNanos,
                        std::uint64_t decodedNanos);
    void handleRecovery(RecoveryAction action, std::optional<std::int64_t> generation);
    void startControlWriter(std::shared_ptr<ByteChannel> channel);
    void startControlReader(std::shared_ptr<ByteSource> source);
    void startServerLogDrain(std::shared_ptr<ByteSource> source);
    void sendControl(const ControlMessage& message);
    // Reads and discards until the source fails or `stop` is requested.
    static void drain(ByteSource& source, const std::stop_token& stop);
    void applyAudioMuted(bool muted) override;

    // Audio.
    void startAudio(std::shared_ptr<ByteSource> source);

    // Recording.
    void endRecording(std::shared_ptr<StreamRecorder> recorder, std::function<void()> then);
    static void finishRecording(std::shared_ptr<StreamRecorder> recorder,
                                StreamRecorder::FinishHandler completion);
    void recorderEvent(StreamRecorder::Event event, std::int64_t serial);

    // Reconnection.
    void reconnectStreamStarted(const std::optional<std::string>& package,
                                const ServerOptions& options);
    void handleStreamFailure(const SessionFailure& failure);
    void handleDecoderRecovery(RecoveryAction action);
    void execute(const ReconnectPolicy::Command& command);
    void performRestart(const StreamRequest& request, const GuiTask<void>& done);
    void scheduleRetry();
    void stopStreamingLater(std::function<bool()> condition);

    const std::shared_ptr<const Starter> starter_;  // shared with the launch workers
    const std::shared_ptr<TimerSource> timers_;
    const std::function<SessionEnvironment::Instant()> now_;
    const std::function<std::unique_ptr<AudioOutput>()> makeAudioOutput_;
    const std::function<std::unique_ptr<VideoDecoderBackend>()> makeDecoderBackend_;
    const std::chrono::nanoseconds extHandshakeTimeout_;
    const TaskClock demoClock_;
    const TaskClock drainClock_;
    const std::shared_ptr<Executor> recorderQueue_;
    const SetThreadPriority setThreadPriority_;
    // Workers post here; dropped once the session is gone.
    const std::shared_ptr<QtExecutor> main_ = std::make_shared<QtExecutor>(this);

    InputRouter input_;
    std::optional<std::filesystem::path> rawStreamTapPath_;
    std::optional<ServerConnection> server_;
    QPointer<VideoView> videoView_;
    std::vector<PresentObserver> presentObservers_;
    std::vector<ExtObserver> extObservers_;
    SessionExtState ext_;
    // Joined by a teardown's worker: it stops between packets, and a pass's decoder is made on
    // its own.
    std::unique_ptr<DemoPlayer> demoPlayer_;
    const std::shared_ptr<VideoStage> stage_;
    std::int64_t generation_ = 0;
    ReconnectPolicy reconnect_;
    std::optional<DeviceLinkState> lastDeviceState_;
    std::optional<GuiTask<void>> restartTask_;
    bool recoveryOpen_ = false;
    std::shared_ptr<RawStreamTap> rawTap_;
    std::shared_ptr<AudioOutput> audioOutput_;
    std::shared_ptr<ControlOutbox> controlOutbox_;
    std::uint64_t fpsWindowStart_ = 0;
    std::int64_t fpsWindowCount_ = 0;
    std::int64_t droppedBaseline_ = 0;
    const std::shared_ptr<RecorderBox> recorderBox_ = std::make_shared<RecorderBox>();
    std::int64_t recordingSerial_ = 0;

    struct Delay {
        std::unique_ptr<OneShotTimer> timer;
        bool fired = false;
    };
    std::list<Delay> delays_;

    // Last: its threads are joined before anything they were started with goes.
    TaskGroup tasks_;
};

}  // namespace qm
