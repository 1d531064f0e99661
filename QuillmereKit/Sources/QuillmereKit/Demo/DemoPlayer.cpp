#include "QuillmereKit/Demo/DemoPlayer.h"

#include <pthread.h>

namespace qm {

DemoPlayer::DemoPlayer(DemoSource source, VideoStage& stage, DecoderFactory makeDecoder,
                       EndHandler onEnded, TaskClock clock, SetThreadPriority setPriority)
    : source_(std::move(source)),
      stage_(stage),
      makeDecoder_(std::move(makeDecoder)),
      onEnded_(std::move(onEnded)),
      clock_(std::move(clock)),
      setPriority_(std::move(setPriority)),
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
    if (setPriority_) {
        setPriority_(ThreadPriority::userInteractive);  // it reads and decodes the stream
    }
    try {
        source_.play(
            std::nullopt,
            [this, &stop](int pass) {
                if (pass > 0 && !stop.stop_requested()) {
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
