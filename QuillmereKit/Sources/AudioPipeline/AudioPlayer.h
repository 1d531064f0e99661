#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>

#include "AudioPipeline/AudioDevice.h"
#include "AudioPipeline/AudioOutput.h"
#include "AudioPipeline/AudioRenderCore.h"
#include "QuillmereCore/SerialQueue.h"
#include "QuillmereCore/TaskClock.h"

namespace qm {

// Plays one stream's raw PCM: packets go into a render core that the device pulls from. Device
// control (start, stop, and the reopen after the output changes) runs in order on the
// "audio-engine" queue. After a failed reopen the device is reconnected and opened again on a
// schedule paced by `clock`, since a sound server that restarts announces no output. Made and
// destroyed on the session's thread; enqueue, muting and the counters from any thread. A stopped
// player stays stopped: a new stream makes a new player.
class AudioPlayer final : public AudioOutput {
public:
    // The ring holds half a second; the target is `targetBufferMillis` of audio. Throws
    // AudioPlayerError::unsupportedFormat for a rate below 1 Hz (or beyond an int) or channels
    // outside 1...8.
    AudioPlayer(double sampleRate, int channels, int targetBufferMillis,
                std::unique_ptr<AudioDevice> device, TaskClock clock = {});
    // Closes the device and lets no queued reopen run after.
    ~AudioPlayer() override;
    AudioPlayer(const AudioPlayer&) = delete;
    AudioPlayer& operator=(const AudioPlayer&) = delete;

    // Throws the device's AudioPlayerError; nothing after stop() or when already playing.
    void start() override;
    // Config packets are ignored; any length is safe, a trailing partial frame is dropped.
    void enqueue(const StreamPacket& packet) override;
    // Closes the device, logs the counters and empties the buffer.
    void stop() override;
    bool isMuted() const override;
    void setMuted(bool muted) override;

    int bufferedFrames() const;
    std::int64_t droppedFrames() const;
    std::int64_t underruns() const;

    // The wait before retry `attempt` (from 0) of a failed reopen: doubling from half a second,
    // then every 8 seconds for as long as the stream plays.
    static std::chrono::nanoseconds retryDelay(int attempt) noexcept;

private:
    void stopForGood() noexcept;
    void endRetries() noexcept;
    void restartAfterChange();
    void reopen(bool afresh);
    void retryOpen();
    void retryWhileSilent(const std::stop_token& stop);

    const int sampleRate_;
    const int channels_;
    const std::shared_ptr<AudioRenderCore> core_;
    // Holds the core, not the player, so a pull never reaches a player being torn down.
    const AudioDevice::Pull pull_;
    std::unique_ptr<AudioDevice> device_;
    const TaskClock clock_;
    // Touched on the engine queue only. Started: start() opened the device; a lost device is
    // reopened from then until stop(), and a failed reopen is retried when an output appears
    // and on the retry schedule.
    bool started_ = false;
    bool stopped_ = false;
    // Between the engine queue and the retrier. Silent: a reopen failed and none has succeeded
    // since. Pending: a retry was posted and has not run yet.
    std::mutex retryMutex_;
    std::condition_variable_any retryWake_;
    bool silent_ = false;
    bool retryPending_ = false;
    SerialQueue engineQueue_;
    // Started by the engine queue at the first failed reopen; ended after stopForGood().
    std::jthread retrier_;
};

}  // namespace qm
