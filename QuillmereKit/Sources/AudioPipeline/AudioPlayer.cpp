#include "AudioPipeline/AudioPlayer.h"

#include <cmath>
#include <exception>
#include <limits>
#include <utility>

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
                         std::unique_ptr<AudioDevice> device, TaskClock clock)
    : sampleRate_(checkedRate(sampleRate)),
      channels_(checkedChannels(channels)),
      core_(makeCore(sampleRate_, channels_, targetBufferMillis)),
      pull_([core = core_](float* into, int frames) { core->render(frames, into); }),
      device_(std::move(device)),
      clock_(std::move(clock)),
      engineQueue_("audio-engine") {
    // Reported on a platform thread; closing there could join that very thread.
    device_->setChangeHandler([this] { engineQueue_.post([this] { restartAfterChange(); }); });
}

AudioPlayer::~AudioPlayer() {
    engineQueue_.sync([this] { stopForGood(); });
    endRetries();
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
    endRetries();
    Log::audio().info("audio stopped: underruns {}, dropped frames {}", core_->underruns(),
                      core_->droppedFrames());
    core_->reset();
}

void AudioPlayer::stopForGood() noexcept {
    stopped_ = true;
    device_->close();
}

// Not on the engine queue: a retrier waiting for its retry to run would never end.
void AudioPlayer::endRetries() noexcept {
    retrier_.request_stop();
    if (retrier_.joinable()) {
        retrier_.join();
    }
}

void AudioPlayer::restartAfterChange() {
    if (stopped_ || !started_) {
        return;
    }
    // Play from a fresh target's worth, not a backlog that built up meanwhile.
    core_->reset();
    device_->close();
    reopen(false);
}

void AudioPlayer::reopen(bool afresh) {
    try {
        if (afresh) {
            device_->reconnect();
        }
        device_->open(sampleRate_, channels_, pull_);
    } catch (const std::exception& error) {
        std::lock_guard lock(retryMutex_);
        // Once per silence: the retries fail every few seconds while no server runs.
        if (!std::exchange(silent_, true)) {
            Log::audio().error("audio engine restart after configuration change failed: {}",
                               error.what());
        }
        if (!retrier_.joinable()) {
            retrier_ =
                std::jthread([this](const std::stop_token& stop) { retryWhileSilent(stop); });
        }
        retryWake_.notify_all();
        return;
    }
    std::lock_guard lock(retryMutex_);
    if (std::exchange(silent_, false)) {
        Log::audio().info("audio output is back after a failed restart");
    }
}

void AudioPlayer::retryOpen() {
    bool silent = false;
    {
        std::lock_guard lock(retryMutex_);
        silent = silent_;
    }
    if (silent && !stopped_) {
        core_->reset();
        reopen(true);
    }
    std::lock_guard lock(retryMutex_);
    retryPending_ = false;
    retryWake_.notify_all();
}

void AudioPlayer::retryWhileSilent(const std::stop_token& stop) {
    std::unique_lock lock(retryMutex_);
    int attempt = 0;
    while (retryWake_.wait(lock, stop, [this] { return silent_; })) {
        lock.unlock();
        clock_.sleep(retryDelay(attempt), stop);
        lock.lock();
        if (stop.stop_requested()) {
            return;
        }
        if (silent_) {
            retryPending_ = true;
            engineQueue_.post([this] { retryOpen(); });
            if (!retryWake_.wait(lock, stop, [this] { return !retryPending_; })) {
                return;
            }
        }
        // The schedule starts over at the next silence.
        attempt = silent_ ? attempt + 1 : 0;
    }
}

std::chrono::nanoseconds AudioPlayer::retryDelay(int attempt) noexcept {
    using namespace std::chrono_literals;
    return attempt >= 4 ? std::chrono::nanoseconds(8s)
                        : std::chrono::nanoseconds(500ms) * (1 << attempt);
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
