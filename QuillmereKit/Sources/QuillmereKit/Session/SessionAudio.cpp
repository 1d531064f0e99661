#include <atomic>
#include <utility>

#include "QuillmereCore/Log.h"
#include "QuillmereKit/Session/Session.h"
#include "ServerProtocol/PacketDemuxer.h"

namespace qm {

namespace {

// Without a sound server every stream is silent: the terminal hears of it once, the history
// each time, and the window from every session that meets it.
template <typename... Args>
void reportNoSound(QtExecutor& main, StreamingSession* session, fmt::format_string<Args...> line,
                   Args&&... args) {
    static std::atomic<bool> said{false};
    Log::audio().log(said.exchange(true) ? spdlog::level::info : spdlog::level::err, line,
                     std::forward<Args>(args)...);
    main.post([session] { emit session->soundUnavailable(); });
}

}  // namespace

void Session::startAudio(std::shared_ptr<ByteSource> source) {
    std::shared_ptr<AudioOutput> output;
    try {
        output = makeAudioOutput_();
    } catch (const std::exception& error) {
        reportNoSound(*main_, this, "audio output unavailable: {}", error.what());
    }
    if (output) {
        output->setMuted(isAudioMuted());
        audioOutput_ = output;
    }
    // Playback is best effort; reading the socket to its end is not: a server that cannot
    // write its sound may stall.
    tasks_.spawn(
        "audio.read", [this, main = main_, source, box = recorderBox_,
                       ticket = recorderBox_->audioTicket(), output](std::stop_token stop) {
            try {
                const std::uint32_t codec = PacketDemuxer::readCodecID(*source, stop);
                if (codec != rawValue(AudioCodec::raw)) {
                    Log::audio().info("audio stream unavailable, codec id {}", codec);
                    drain(*source, stop);
                    return;
                }
                if (stop.stop_requested()) {
                    return;
                }
                box->setAudioFlowing(ticket, true);
                if (output) {
                    try {
                        output->start();
                    } catch (const std::exception& error) {
                        reportNoSound(*main, this,
                                      "audio player failed to start: {}; draining the socket "
                                      "without playback",
                                      error.what());
                    }
                }
                while (!stop.stop_requested()) {
                    StreamEvent event = PacketDemuxer::nextEvent(*source, stop);
                    if (auto* packet = std::get_if<StreamPacket>(&event)) {
                        if (output) {
                            output->enqueue(*packet);
                        }
                        if (const std::shared_ptr<StreamRecorder> recorder = box->current()) {
                            recorder->appendAudio(std::move(*packet));
                        }
                    }
                }
            } catch (const std::exception& error) {
                if (stop.stop_requested()) {
                    return;  // torn down
                }
                box->setAudioFlowing(ticket, false);
                if (dynamic_cast<const ByteIOError*>(&error)) {
                    Log::audio().info("audio stream ended: {}", error.what());
                } else {
                    Log::audio().info("audio stream unreadable: {}; draining it", error.what());
                    drain(*source, stop);
                }
            }
        });
}

}  // namespace qm
