#pragma once

#include <atomic>
#include <cstdint>

#include "AudioPipeline/AudioDevice.h"

namespace qm {

// The default sound output through SDL: float32 frames at the player's rate and channel count,
// which SDL converts for the sound server. Made and destroyed on the session's thread (SDL's
// start-up is not thread-safe); throws AudioPlayerError::device when SDL cannot start its audio.
class SdlAudioDevice final : public AudioDevice {
public:
    // Frames per pull: about 11 ms at 48 kHz.
    static constexpr int blockFrames = 512;

    SdlAudioDevice();
    ~SdlAudioDevice() override;
    SdlAudioDevice(const SdlAudioDevice&) = delete;
    SdlAudioDevice& operator=(const SdlAudioDevice&) = delete;

    void setChangeHandler(Changed changed) override;
    void open(int sampleRate, int channels, const Pull& pull) override;
    void close() noexcept override;
    // A fresh start of SDL's audio, which every open device of the process goes through.
    void reconnect() override;

private:
    struct Callbacks;  // SDL's, in the source file

    Changed changed_;
    Pull pull_;
    int frameBytes_ = 0;
    // Read by SDL's event watch on another thread; 0 when closed.
    std::atomic<std::uint32_t> openID_{0};
    // While SDL's audio starts afresh: the outputs it lists then are no news.
    std::atomic<bool> reconnecting_{false};
};

}  // namespace qm
