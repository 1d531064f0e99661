#include "QuillmereKit/DemoPlayer.h"

#include <pthread.h>

namespace qm {

DemoPlayer::DemoPlayer(DemoSource source, VideoStage& stage, DecoderFactory makeDecoder,
                       EndHandler onEnded, TaskClock clock)
    : source_(std::move(source)),
      stage_(stage),
      makeDecoder_(std::move(makeDecoder)),
      onEnded_(std::move(onEnded)),
      clock_(std::move(clock)),
      thread_([this](std::stop_token stop) { run(stop); }) {}

DemoPlayer::~DemoPlayer() {
    stop();
}

void DemoPlayer::stop() {
    thread_.request_stop();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void DemoPlayer::run(const std::stop_token& stop) {
    pthread_setname_np(pthread_self(), "demo");
    try {
        source_.play(
            std::nullopt,
            [this](int pass) {
                if (pass > 0) {
                    stage_.replaceDecoder(makeDecoder_());
                }
            },
            [this](const StreamEvent& event) { stage_.handle(event); }, clock_, stop);
    } catch (...) {
        if (!stop.stop_requested() && onEnded_) {
            onEnded_(std::current_exception());
        }
    }
}

}  // namespace qm
