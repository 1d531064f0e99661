#include "AudioPipeline/AudioPlayer.h"

#include <cmath>
#include <exception>
#include <limits>

#include "AudioPipeline/AudioPlayerError.h"
#include "QuillmereCore/HostClock.h"
#include "QuillmereCore/Log.h"

namespace qm {
namespace {

int checkedRate(double sampleRate) {
    // Also refuses NaN.
    if (!(sampleRate >= 1 && sampleRate < double(std::numeric_limits<int>::max()) + 1)) {
        throw AudioPlayerError::unsupportedFormat();
    }
    return static_cast<int>(sampleRate);
}

int checkedChannels(int channels) {
    if (channels < 1 || channels > 8) {
        throw AudioPlayerError::unsupportedFormat();
    }
    return channels;
}

std::shared_ptr<AudioRenderCore> makeCore(int rate, int channels, int targetBufferMillis) {
    const std::int64_t target = std::int64_t(rate) * targetBufferMillis / 1000;
    // A rate of 1 Hz would leave a half-second ring without a frame.
    return std::make_shared<AudioRenderCore>(
        std::max(rate / 2, 1), channels,
        static_cast<int>(std::clamp<std::int64_t>(target, 0, rate)));
}

}  // namespace

AudioPlayer::AudioPlayer(double sampleRate, int channels, int targetBufferMillis,
                         std::unique_ptr<AudioDevice> device)
    : sampleRate_(checkedRate(sampleRate)),
      channels_(checkedChannels(channels)),
      core_(makeCore(sampleRate_, channels_, targetBufferMillis)),
      pull_([core = core_](float* into, int frames) { core->render(frames, into); }),
      device_(std::move(device)),
      engineQueue_("audio-engine") {
    // Reported on a platform thread; closing there could join that very thread.
    device_->setChangeHandler([this] { engineQueue_.post([this] { restartAfterChange(); }); });
}

AudioPlayer::~AudioPlayer() {
    engineQueue_.sync([this] { stopForGood(); });
    device_.reset();
    engineQueue_.shutdown();
}

void AudioPlayer::start() {
    std::exception_ptr failure;
    engineQueue_.sync([&] {
        if (stopped_ || started_) {
            return;
        }
        try {
            device_->open(sampleRate_, channels_, pull_);
            started_ = true;
        } catch (...) {
            failure = std::current_exception();
        }
    });
    if (failure) {
        std::rethrow_exception(failure);
    }
}

void AudioPlayer::enqueue(const StreamPacket& packet) {
    if (packet.kind == StreamPacket::Kind::config) {
        return;
    }
    core_->write(packet.data, HostClock::nowNanos());
}

void AudioPlayer::stop() {
    engineQueue_.sync([this] { stopForGood(); });
    Log::audio().info("audio stopped: underruns {}, dropped frames {}", core_->underruns(),
                      core_->droppedFrames());
    core_->reset();
}

void AudioPlayer::stopForGood() noexcept {
    stopped_ = true;
    device_->close();
}

void AudioPlayer::restartAfterChange() {
    if (stopped_ || !started_) {
        return;
    }
    // Play from a fresh target's worth, not a backlog that built up meanwhile.
    core_->reset();
    device_->close();
    try {
        device_->open(sampleRate_, channels_, pull_);
    } catch (const std::exception& error) {
        Log::audio().error("audio engine restart after configuration change failed: {}",
                           error.what());
        silent_ = true;
        return;
    }
    if (silent_) {
        Log::audio().info("audio output is back after a failed restart");
        silent_ = false;
    }
}

bool AudioPlayer::isMuted() const {
    return core_->isMuted();
}

void AudioPlayer::setMuted(bool muted) {
    core_->setMuted(muted);
}

int AudioPlayer::bufferedFrames() const {
    return core_->bufferedFrames();
}

std::int64_t AudioPlayer::droppedFrames() const {
    return core_->droppedFrames();
}

std::int64_t AudioPlayer::underruns() const {
    return core_->underruns();
}

}  // namespace qm
