#pragma once

#include <cstdint>
#include <memory>

#include "AudioPipeline/AudioDevice.h"
#include "AudioPipeline/AudioOutput.h"
#include "AudioPipeline/AudioRenderCore.h"
#include "QuillmereCore/SerialQueue.h"

namespace qm {

// Plays one stream's raw PCM: packets go into a render core that the device pulls from. Device
// control (start, stop, and the reopen after the output changes) runs in order on the
// "audio-engine" queue. Made and destroyed on the session's thread; enqueue, muting and the
// counters from any thread. A stopped player stays stopped: a new stream makes a new player.
class AudioPlayer final : public AudioOutput {
public:
    // The ring holds half a second; the target is `targetBufferMillis` of audio. Throws
    // AudioPlayerError::unsupportedFormat for a rate below 1 Hz (or beyond an int) or channels
    // outside 1...8.
    AudioPlayer(double sampleRate, int channels, int targetBufferMillis,
                std::unique_ptr<AudioDevice> device);
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

private:
    void stopForGood() noexcept;
    void restartAfterChange();

    const int sampleRate_;
    const int channels_;
    const std::shared_ptr<AudioRenderCore> core_;
    // Holds the core, not the player, so a pull never reaches a player being torn down.
    const AudioDevice::Pull pull_;
    std::unique_ptr<AudioDevice> device_;
    // Touched on the engine queue only. Started: start() opened the device; a lost device is
    // reopened from then until stop(), and a failed reopen is retried when an output appears.
    bool started_ = false;
    bool stopped_ = false;
    // A reopen failed and none has succeeded since.
    bool silent_ = false;
    SerialQueue engineQueue_;
};

}  // namespace qm
