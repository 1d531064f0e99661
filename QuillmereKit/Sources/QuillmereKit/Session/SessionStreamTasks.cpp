#include <array>
#include <utility>

#include "QuillmereCore/Log.h"
#include "QuillmereKit/Session/ServerLogLines.h"
#include "QuillmereKit/Session/Session.h"
#include "ServerProtocol/DeviceMessageDecoder.h"
#include "ServerProtocol/PacketDemuxer.h"
#include "VideoPipeline/View/VideoView.h"

namespace qm {

namespace {

constexpr std::uint64_t nanosPerSecond = 1'000'000'000;

std::string_view logName(const DeviceMessage& message) {
    static constexpr std::array<std::string_view, 3> names = {"clipboard", "ackClipboard",
                                                              "uhidOutput"};
    return names[message.index()];
}

std::string_view actionName(RecoveryAction action) {
    switch (action) {
        case RecoveryAction::requestKeyFrame:
            return "requestKeyFrame";
        case RecoveryAction::recreateDecoder:
            return "recreateDecoder";
        case RecoveryAction::fallbackToH264:
            return "fallbackToH264";
        case RecoveryAction::giveUp:
            return "giveUp";
    }
    return "";
}

}  // namespace

std::shared_ptr<VideoDecoder> Session::makeDecoder(std::int64_t generation) {
    // The decoder lives in the stage, which the reader holds while it decodes.
    VideoStage* stage = stage_.get();
    VideoStage::PresentedHandler presented = [this, main = main_](const DecodedFrame& frame,
                                                                  std::uint64_t presentedNanos) {
        main->post([this, pts = frame.ptsMicros, presentedNanos, decoded = frame.decodedAtNanos] {
            framePresented(pts, presentedNanos, decoded);
        });
    };
    return std::make_shared<VideoDecoder>(
        [this, main = main_, stage, presented](DecodedFrame frame) {
            // Only a new size reaches the GUI thread from here.
            if (const std::optional<VideoSize> size =
                    stage->frameDecoded(std::move(frame), presented)) {
                main->post([this, size = *size] { frameSizeChanged(size); });
            }
        },
        [this, main = main_, generation](RecoveryAction action) {
            main->post([this, action, generation] { handleRecovery(action, generation); });
        },
        makeDecoderBackend_());
}

void Session::startVideoReader(std::shared_ptr<ByteSource> source, std::int64_t generation) {
    tasks_.spawn(
        "video.read", [this, main = main_, source, stage = stage_, box = recorderBox_, generation,
                       setPriority = setThreadPriority_](std::stop_token stop) {
            setPriority(ThreadPriority::userInteractive);  // before the decoder starts its threads
            try {
                while (!stop.stop_requested()) {
                    StreamEvent event = PacketDemuxer::nextEvent(*source, stop);
                    stage->handle(event);
                    if (auto* packet = std::get_if<StreamPacket>(&event)) {
                        if (const std::shared_ptr<StreamRecorder> recorder = box->current()) {
                            recorder->appendVideo(std::move(*packet));
                        }
                    }
                }
            } catch (...) {
                if (!stop.stop_requested()) {
                    main->post([this, error = std::current_exception(), generation] {
                        videoReaderEnded(error, generation);
                    });
                }
            }
        });
}

void Session::videoReaderEnded(const std::exception_ptr& error, std::int64_t generation) {
    if (generation != generation_) {
        return;
    }
    try {
        std::rethrow_exception(error);
    } catch (const CancellationError&) {
        return;
    } catch (...) {
    }
    fail(failure(error));
}

void Session::frameSizeChanged(VideoSize size) {
    if (videoView_) {
        videoView_->setVideoSize(size);
    }
}

void Session::framePresented(std::int64_t ptsMicros, std::uint64_t presentedNanos,
                             std::uint64_t decodedNanos) {
    for (const PresentObserver& observer : presentObservers_) {
        observer(ptsMicros, presentedNanos, decodedNanos);
    }
    if (fpsWindowCount_ == 0) {
        fpsWindowStart_ = presentedNanos;
    }
    ++fpsWindowCount_;
    const std::uint64_t elapsed = presentedNanos - fpsWindowStart_;
    if (elapsed < nanosPerSecond) {
        return;
    }
    // The window's first frame only opened it.
    SessionStats next = stats();
    next.fps = static_cast<double>(fpsWindowCount_ - 1) * 1e9 / static_cast<double>(elapsed);
    next.droppedFrames = stage_->droppedCount() - droppedBaseline_;
    if (const std::shared_ptr<VideoDecoder> decoder = stage_->decoder()) {
        next.decoder = decoder->decoderKind();
    }
    Log::session().info("fps {:.1f} dropped {}", next.fps, next.droppedFrames);
    setStats(std::move(next));
    fpsWindowStart_ = presentedNanos;
    fpsWindowCount_ = 1;
}

void Session::handleRecovery(RecoveryAction action, std::optional<std::int64_t> generation) {
    if (phase().kind() != SessionPhase::Kind::streaming || !recoveryOpen_) {
        return;
    }
    if (generation && *generation != generation_) {
        return;
    }
    Log::video().info("decoder recovery: {}", actionName(action));
    switch (action) {
        case RecoveryAction::requestKeyFrame:
        case RecoveryAction::recreateDecoder:
            // The server restarts its encoder; the next key frame lets the decoder resume.
            sendControl(ResetVideo{});
            return;
        case RecoveryAction::fallbackToH264:
        case RecoveryAction::giveUp:
            recoveryOpen_ = false;
            handleDecoderRecovery(action);
            return;
    }
}

void Session::startControlWriter(std::shared_ptr<ByteChannel> channel) {
    // A phone that stops taking input, or whose control socket fails (the server or the cable
    // gone, whatever the error says), has a broken link, which a restart mends: the stream ends
    // at once rather than play on deaf to the user.
    auto broken = [this, main = main_, generation = generation_] {
        main->post([this, generation] {
            if (generation == generation_) {
                fail(SessionFailure::disconnected());
            }
        });
    };
    auto outbox = std::make_shared<ControlOutbox>(ControlOutbox::defaultLimit, broken);
    controlOutbox_ = outbox;
    tasks_.spawn("control.write",
                 [outbox, channel, broken, setPriority = setThreadPriority_](std::stop_token stop) {
                     setPriority(ThreadPriority::high);
                     try {
                         outbox->writeAll(*channel, stop);
                     } catch (const std::exception& error) {
                         // A teardown closing the socket says nothing.
                         if (!stop.stop_requested()) {
                             Log::session().error("control write failed: {}", error.what());
                             broken();
                         }
                     }
                 });
}

void Session::startControlReader(std::shared_ptr<ByteSource> source) {
    tasks_.spawn("control.read", [source](std::stop_token stop) {
        try {
            while (!stop.stop_requested()) {
                const DeviceMessage message = DeviceMessageDecoder::next(*source, stop);
                Log::session().debug("device message ignored: {}", logName(message));
            }
        } catch (const ByteIOError&) {
        } catch (const CancellationError&) {
        } catch (const std::exception& error) {
            Log::session().error("control socket unreadable: {}; draining it", error.what());
            // The server must never block writing to this socket.
            drain(*source, stop);
        }
    });
}

void Session::startServerLogDrain(std::shared_ptr<ByteSource> source) {
    tasks_.spawn("server.log", [source](std::stop_token stop) {
        lowerCurrentThread();
        ServerLogLines lines;
        std::array<std::uint8_t, 1> byte{};
        try {
            while (true) {
                source->readExactly(byte, stop);
                if (const std::optional<std::string> line = lines.push(byte[0])) {
                    Log::server().info("{}", Log::privateValue(*line));
                }
            }
        } catch (const std::exception&) {
        }
    });
}

void Session::drain(ByteSource& source, const std::stop_token& stop) {
    std::array<std::uint8_t, 4096> block{};
    try {
        while (!stop.stop_requested()) {
            source.readExactly(block, stop);
        }
    } catch (const std::exception&) {
    }
}

void Session::sendControl(const ControlMessage& message) {
    if (controlOutbox_) {
        controlOutbox_->send(message);
    }
}

}  // namespace qm
