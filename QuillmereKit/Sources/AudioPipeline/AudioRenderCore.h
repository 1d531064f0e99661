#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <vector>

#include "AudioPipeline/AudioBufferPolicy.h"
#include "AudioPipeline/PCMRingBuffer.h"
#include "QuillmereCore/Bytes.h"

namespace qm {

// The jitter buffer between the network and the audio device: `write` (the audio task) converts
// the phone's PCM into the ring, `render` (the device's real-time thread, one thread at a time)
// fills output blocks as the policy decides. Counters and `isMuted` may be read from any thread.
// Neither side allocates; each holds the lock for arithmetic and one copy.
class AudioRenderCore {
public:
    // The most frames one lock hold copies; larger blocks are rendered in chunks.
    static constexpr int chunkFrames = 4096;
    static constexpr std::uint64_t overfillHoldNanos = 200'000'000;

    // Where one output channel's samples go: frame i lands at data[i * stride].
    struct OutputChannel {
        float* data = nullptr;
        std::ptrdiff_t stride = 1;
    };

    // `capacityFrames` and `channels` at least 1. A target beyond the ring could never be
    // reached, so it is held to the capacity.
    AudioRenderCore(int capacityFrames, int channels, int targetFrames);

    int channels() const noexcept { return channels_; }

    void write(ByteView pcm, std::uint64_t nowNanos) noexcept;
    // Fills `frames` of each listed channel; channels beyond the core's and null ones are left
    // untouched. Muted, the buffered audio is consumed as usual and zeros are written.
    void render(int frames, std::span<const OutputChannel> outputs) noexcept;
    // The same for an interleaved block of `frames` × channels() samples.
    void render(int frames, float* interleaved) noexcept;
    // Empties the ring and starts the policy over; dropped frames and muting stay.
    void reset() noexcept;

    int bufferedFrames() const;
    std::int64_t droppedFrames() const;
    std::int64_t underruns() const;
    bool isMuted() const;
    void setMuted(bool muted);

private:
    template <typename ChannelAt>
    void renderChannels(int frames, int outputCount, ChannelAt channelAt) noexcept;

    struct State {
        PCMRingBuffer ring;
        AudioBufferPolicy policy;
        std::int64_t droppedFrames = 0;
        bool isMuted = false;
    };

    const int channels_;
    mutable std::mutex mutex_;
    State state_;
    std::vector<float> scratch_;  // the render thread's alone
};

}  // namespace qm
