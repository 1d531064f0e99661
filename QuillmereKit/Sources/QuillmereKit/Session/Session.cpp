#include "QuillmereKit/Session/Session.h"

#include <chrono>
#include <utility>

#include <fmt/format.h>

#include "AudioPipeline/AudioPlayer.h"
#include "AudioPipeline/SdlAudioDevice.h"
#include "DeviceLink/DeviceLink.h"
#include "QuillmereCore/Log.h"
#include "QuillmereCore/ProcessMemory.h"
#include "QuillmereCore/SerialQueue.h"
#include "QuillmereKit/Demo/DemoPlayer.h"
#include "QuillmereKit/Tasks/ThreadPriorities.h"
#include "QuillmereKit/Video/RawStreamTap.h"
#include "ServerProtocol/PacketDemuxer.h"
#include "VideoPipeline/VaapiDecoderBackend.h"
#include "VideoPipeline/View/VideoView.h"

namespace qm {

namespace {

std::unique_ptr<AudioOutput> makeAudioPlayer() {
    return std::make_unique<AudioPlayer>(48000, 2, 40, std::make_unique<SdlAudioDevice>());
}

void raiseThroughRealtimeKit(ThreadPriority priority) {
    ThreadPriorities::system().apply(priority);
}

// The stage's own queue draws what the user looks at.
std::shared_ptr<Executor> makeRenderQueue(const SetThreadPriority& setPriority) {
    auto queue = std::make_shared<SerialQueue>("render");
    queue->post([setPriority] { setPriority(ThreadPriority::userInteractive); });
    return queue;
}

// How long a teardown waits for the control writer before it closes the sockets under it.
constexpr std::chrono::milliseconds controlDrainLimit{500};

// Closing makes every reader of these sockets fail, which ends its task.
void close(const ServerConnection& server) {
    server.control->close();
    if (server.ext) {
        server.ext->close();
    }
    server.serverLog->close();
    server.video->close();
    if (server.audio) {
        server.audio->close();
    }
}

// A server on its way to the GUI thread: closed unless taken, so that a launch whose session
// is gone leaves nothing open on the phone.
class PendingServer {
public:
    explicit PendingServer(ServerConnection server) : server_(std::move(server)) {}
    ~PendingServer() {
        if (server_) {
            close(*server_);
        }
    }
    PendingServer(const PendingServer&) = delete;
    PendingServer& operator=(const PendingServer&) = delete;

    ServerConnection take() { return *std::exchange(server_, std::nullopt); }

private:
    std::optional<ServerConnection> server_;
};

// Why a video socket's codec id ends the launch, if it does.
std::optional<SessionFailure> codecProblem(std::uint32_t id) {
    if (id == 1) {
        return SessionFailure::serverFailed("server configuration error", false,
                                            FailureCause::encoderRejected);
    }
    if (id == 0) {
        return SessionFailure::serverFailed("video stream disabled by the device", false,
                                            FailureCause::streamDisabled);
    }
    if (!fromRawValue<VideoCodec>(id)) {
        return SessionFailure::serverFailed(fmt::format("unsupported video codec 0x{:08x}", id));
    }
    return std::nullopt;
}

void settle(const GuiTask<void>& task) {
    task.settle(TaskOutcome<void>());
}

}  // namespace

struct Session::CodecRead {
    CodecRead() = default;
    CodecRead(const CodecRead&) = delete;
    CodecRead& operator=(const CodecRead&) = delete;
    ~CodecRead() {
        if (tap) {
            tap->discard();
        }
    }

    std::uint32_t id = 0;
    std::exception_ptr error;
    // On its way to the GUI thread: deleted unless the stream takes it, so that a launch
    // replaced meanwhile leaves no capture behind.
    std::shared_ptr<RawStreamTap> tap;
    std::optional<std::string> tapError;
};

Session::Session(DeviceLink& deviceLink, Bytes jar, SessionEnvironment environment, QObject* parent)
    : Session(
          [&deviceLink, launcher = ServerLauncher(std::move(jar))](const ServerOptions& options,
                                                                   std::stop_token stop) {
              const std::shared_ptr<AdbConnection> connection = deviceLink.connection();
              if (!connection) {
                  throw SessionFailure::disconnected();
              }
              try {
                  return launcher.launch(options, *connection, std::move(stop));
              } catch (const CancellationError&) {
                  throw;
              } catch (...) {
                  // A pulled cable ends the server's sockets and output as its death would. The
                  // link lets go of a connection before it closes it.
                  if (connection->hasTransportFailed() || deviceLink.connection() != connection) {
                      throw SessionFailure::disconnected();
                  }
                  throw;
              }
          },
          std::move(environment), parent) {}

Session::Session(Starter starter, SessionEnvironment environment, QObject* parent)
    : StreamingSession(parent),
      starter_(std::make_shared<const Starter>(std::move(starter))),
      // Coarse timers fire up to 5% early: a retry's half second is a half second.
      timers_(environment.timers ? std::move(environment.timers)
                                 : std::make_shared<QtTimerSource>(Qt::PreciseTimer)),
      now_(environment.now ? std::move(environment.now) : ContinuousClock::now),
      makeAudioOutput_(environment.makeAudioOutput ? std::move(environment.makeAudioOutput)
                                                   : makeAudioPlayer),
      makeDecoderBackend_(environment.makeDecoderBackend ? std::move(environment.makeDecoderBackend)
                                                         : makePreferredDecoderBackend),
      extHandshakeTimeout_(environment.extHandshakeTimeout),
      demoClock_(std::move(environment.demoClock)),
      drainClock_(std::move(environment.drainClock)),
      recorderQueue_(std::move(environment.recorderQueue)),
      setThreadPriority_(environment.setThreadPriority ? std::move(environment.setThreadPriority)
                                                       : raiseThroughRealtimeKit),
      input_([this](const ControlMessage& message) { sendControl(message); }),
      stage_(std::make_shared<VideoStage>(environment.renderQueue
                                              ? std::move(environment.renderQueue)
                                              : makeRenderQueue(setThreadPriority_))) {
    ext_.pingTimer = timers_->makeTimer();
    ext_.timingTimer = timers_->makeTimer();
}

Session::~Session() {
    demoPlayer_.reset();  // it draws through the stage
    ext_.reset();
    if (videoView_) {
        videoView_->clearOnGeometryChange(this);
    }
    if (std::shared_ptr<StreamRecorder> recorder = recorderBox_->take()) {
        finishRecording(std::move(recorder), [](const StreamRecorder::FinishResult&) {});
    }
    if (controlOutbox_) {
        controlOutbox_->finish();
    }
    if (rawTap_) {
        rawTap_->close();
    }
    if (audioOutput_) {
        audioOutput_->stop();
    }
    if (server_) {
        close(*server_);
    }
}

GuiTask<void> Session::start(std::optional<std::string> package, ServerOptions options) {
    reconnect_.userStarted({package, options, input_.mode()});
    GuiTask<void> done(this);
    launch({std::move(package), std::move(options), done});
    return done;
}

GuiTask<void> Session::stop() {
    reconnect_.userStopped();
    GuiTask<void> done(this);
    stopStreaming([this, done](std::int64_t generation) {
        if (generation == generation_) {
            show(SessionPhase::idle());
        }
        settle(done);
    });
    return done;
}

void Session::launch(Launch launch) {
    show(SessionPhase::starting());
    stopStreaming([this, launch](std::int64_t generation) mutable {
        if (generation != generation_) {
            settle(launch.done);
            return;
        }
        launch.generation = generation;
        tasks_.spawn("session.start", [this, main = main_, starter = starter_,
                                       launch](std::stop_token stop) {
            std::function<void()> report;
            try {
                auto server = std::make_shared<PendingServer>((*starter)(launch.options, stop));
                report = [this, launch, server] { serverStarted(launch, server->take()); };
            } catch (...) {
                report = [this, launch, error = std::current_exception()] {
                    starterFailed(launch, error);
                };
            }
            main->post(std::move(report));
        });
    });
}

void Session::starterFailed(const Launch& launch, const std::exception_ptr& error) {
    if (launch.generation != generation_) {
        settle(launch.done);
        return;
    }
    fail(failure(error), launch.done);
}

void Session::serverStarted(Launch launch, ServerConnection server) {
    if (launch.generation != generation_) {
        retire(std::move(server));
        settle(launch.done);
        return;
    }
    server_ = server;
    startControlWriter(server.control);
    startControlReader(server.control);
    startServerLogDrain(server.serverLog);
    startExt(launch.generation, [this, launch](std::optional<SessionFailure> failure) {
        if (failure) {
            fail(*failure, launch.done);
        } else if (launch.generation != generation_) {
            settle(launch.done);
        } else {
            readCodecID(launch);
        }
    });
}

void Session::readCodecID(const Launch& launch) {
    tasks_.spawn("session.codec", [this, main = main_, video = server_->video,
                                   tapPath = rawStreamTapPath_, launch](std::stop_token stop) {
        auto read = std::make_shared<CodecRead>();
        try {
            read->id = PacketDemuxer::readCodecID(*video, stop);
        } catch (...) {
            read->error = std::current_exception();
        }
        // The capture file is made here, off the GUI thread, for a stream that will play.
        const std::optional<VideoCodec> codec = fromRawValue<VideoCodec>(read->id);
        if (!read->error && codec && tapPath && !stop.stop_requested()) {
            try {
                read->tap = std::make_shared<RawStreamTap>(video, *tapPath, *codec);
            } catch (const std::exception& error) {
                read->tapError = error.what();
            }
        }
        main->post([this, launch, read] { codecRead(launch, *read); });
    });
}

void Session::codecRead(const Launch& launch, CodecRead& read) {
    const std::int64_t generation = launch.generation;
    if (generation != generation_) {
        settle(launch.done);
        return;
    }
    if (read.error) {
        fail(failure(read.error), launch.done);
        return;
    }
    if (const std::optional<SessionFailure> problem = codecProblem(read.id)) {
        fail(*problem, launch.done);
        return;
    }
    // From here to the end one turn: observers see streaming with everything in place.
    std::shared_ptr<ByteSource> source = server_->video;
    if (read.tapError) {
        Log::session().error("raw stream tap failed: {}", Log::privateValue(*read.tapError));
    }
    if (read.tap) {
        rawTap_ = std::exchange(read.tap, nullptr);
        source = rawTap_;
    }
    stage_->replaceDecoder(makeDecoder(generation));
    recoveryOpen_ = true;
    show(SessionPhase::streaming());
    reconnectStreamStarted(launch.package, launch.options);
    Log::session().info("streaming: {} {}p{}",
                        launch.options.videoCodec == VideoCodec::h265 ? "h265" : "h264",
                        launch.options.maxSize, launch.options.maxFps);
    if (launch.package) {
        sendControl(StartApp{*launch.package});
    }
    startVideoReader(std::move(source), generation);
    if (launch.options.audio && server_->audio) {
        startAudio(server_->audio);
    }
    settle(launch.done);
    if (read.tapError) {
        emit rawCaptureFailed(QString::fromStdString(*read.tapError));
    }
}

void Session::stopStreaming(std::function<void(std::int64_t)> then) {
    const std::int64_t generation = ++generation_;
    std::shared_ptr<StreamRecorder> recorder = recorderBox_->take();
    recorderBox_->endAudio();
    setRecording(false);
    recoveryOpen_ = false;
    // What the phone holds for the user goes up on the stream that pressed it: a finger left
    // down on a closed stream stays down.
    input_.releaseAll();
    tasks_.requestStop();
    std::shared_ptr<DemoPlayer> demo = std::move(demoPlayer_);
    if (demo) {
        demo->requestStop();
    }
    std::shared_ptr<ControlOutbox> outbox = std::exchange(controlOutbox_, nullptr);
    if (outbox) {
        outbox->finish();
    }
    std::shared_ptr<VideoDecoder> decoder = stage_->replaceDecoder(nullptr);
    stage_->resetVideoSize();
    stage_->discardWaitingFrame();
    if (rawTap_) {
        rawTap_->close();
        rawTap_.reset();
    }
    std::shared_ptr<AudioOutput> output = std::exchange(audioOutput_, nullptr);
    resetExt();
    setStats(SessionStats::empty());
    fpsWindowStart_ = 0;
    fpsWindowCount_ = 0;
    droppedBaseline_ = stage_->droppedCount();
    std::optional<ServerConnection> server = std::exchange(server_, std::nullopt);
    updateCanRecord();
    if (server && outbox) {
        // The phone's server ends with its video socket, so the control writer gets to send
        // those releases first, unless the phone has stopped taking input.
        tasks_.spawn("session.close",
                     [server = *server, outbox, clock = drainClock_](std::stop_token) {
                         outbox->waitWritten(controlDrainLimit, clock);
                         close(server);
                     });
    } else if (server) {
        close(*server);
    }
    // Moved, not copied: the worker must hold the last reference to the server.
    tasks_.joinAll([this, main = main_, generation, server = std::move(server),
                    demo = std::move(demo), stage = stage_, decoder = std::move(decoder),
                    output = std::move(output), recorder = std::move(recorder),
                    then = std::move(then)]() mutable {
        if (demo) {
            demo.reset();  // joins its thread, which may be in a decode
            // Whatever its last pass installed and drew goes too.
            decoder = stage->replaceDecoder(nullptr);
            stage->discardWaitingFrame();
        }
        decoder.reset();  // the codec joins its threads and frees its frames: not on the GUI thread
        if (output) {
            output->stop();  // waits for the device's own thread: never on the GUI thread
        }
        server.reset();  // the server log's own reader is joined here, not on the GUI thread
        returnFreedMemoryToTheSystem();
        main->post([this, generation, output = std::move(output), recorder = std::move(recorder),
                    then = std::move(then)]() mutable {
            output.reset();  // the player goes on the thread that made it
            const auto finished = [generation, then] {
                if (then) {
                    then(generation);
                }
            };
            if (recorder) {
                endRecording(std::move(recorder), finished);
            } else {
                finished();
            }
        });
    });
}

void Session::fail(const SessionFailure& failure, std::optional<GuiTask<void>> done) {
    Log::session().error("session failed: {}", logged(failure));
    stopStreaming([this, failure, done](std::int64_t generation) {
        if (generation == generation_) {
            handleStreamFailure(failure);
        }
        if (done) {
            settle(*done);
        }
    });
}

void Session::retire(ServerConnection server) {
    close(server);
    tasks_.spawn("session.close",
                 [server = std::move(server)](std::stop_token) mutable { server = {}; });
}

void Session::show(SessionPhase phase) {
    const bool canRecord = canRecordIn(phase);
    setPhase(std::move(phase), canRecord);
}

void Session::updateCanRecord() {
    setCanRecord(canRecordIn(phase()));
}

bool Session::canRecordIn(const SessionPhase& phase) const {
    return phase.kind() == SessionPhase::Kind::streaming && server_.has_value();
}

void Session::after(Duration delay, std::function<void()> fire) {
    // Timers are let go here rather than in their own callback.
    std::erase_if(delays_, [](const Delay& each) { return each.fired; });
    Delay& added = delays_.emplace_back(Delay{timers_->makeTimer(), false});
    added.timer->start(delay, [&added, fire = std::move(fire)] {
        fire();
        added.fired = true;
    });
}

void Session::attach(VideoView* view) {
    if (videoView_ && videoView_ != view) {
        videoView_->clearOnGeometryChange(this);
    }
    videoView_ = view;
    view->setOnGeometryChange([this](const VideoGeometry& geometry) { setVideoGeometry(geometry); },
                              this);
    // A view showing the same size again reports nothing: input needs the geometry now.
    if (view->lastGeometry()) {
        setVideoGeometry(view->lastGeometry());
    }
    try {
        stage_->setTarget(view->videoLayer(),
                          std::make_shared<VideoRenderer>(view->renderSettings()));
    } catch (const std::exception& error) {
        Log::video().error("OpenGL renderer unavailable: {}", error.what());
    }
    stage_->resetVideoSize();
}

void Session::applyAudioMuted(bool muted) {
    if (audioOutput_) {
        audioOutput_->setMuted(muted);
    }
}

}  // namespace qm
