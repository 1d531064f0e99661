#include "AudioPipeline/AudioRenderCore.h"

#include <algorithm>

namespace qm {

AudioRenderCore::AudioRenderCore(int capacityFrames, int channels, int targetFrames)
    : channels_(channels),
      state_{PCMRingBuffer(capacityFrames, channels),
             AudioBufferPolicy(std::clamp(targetFrames, 0, capacityFrames), overfillHoldNanos)},
      scratch_(static_cast<std::size_t>(channels) * chunkFrames) {}

void AudioRenderCore::write(ByteView pcm, std::uint64_t nowNanos) noexcept {
    std::lock_guard lock(mutex_);
    state_.droppedFrames += state_.ring.write(pcm);
    const int trim = state_.policy.framesToTrim(state_.ring.availableFrames(), nowNanos);
    if (trim >= 1) {
        state_.droppedFrames += state_.ring.discard(trim);
    }
}

void AudioRenderCore::render(int frames, std::span<const OutputChannel> outputs) noexcept {
    renderChannels(frames, static_cast<int>(outputs.size()), [&](int c) { return outputs[c]; });
}

void AudioRenderCore::render(int frames, float* interleaved) noexcept {
    renderChannels(frames, channels_, [&](int c) {
        return OutputChannel{interleaved + c, channels_};
    });
}

template <typename ChannelAt>
void AudioRenderCore::renderChannels(int frames, int outputCount, ChannelAt channelAt) noexcept {
    const int outputs = std::min(outputCount, channels_);
    for (int offset = 0; offset < frames;) {
        const int n = std::min(frames - offset, chunkFrames);
        int got = 0;
        bool muted = false;
        {
            std::lock_guard lock(mutex_);
            const int play = state_.policy.framesToPlay(n, state_.ring.availableFrames());
            got = state_.ring.read(
                std::span(scratch_).first(static_cast<std::size_t>(play) * channels_));
            muted = state_.isMuted;
        }
        const int audible = muted ? 0 : got;
        for (int c = 0; c < outputs; ++c) {
            const OutputChannel out = channelAt(c);
            if (out.data == nullptr) {
                continue;
            }
            float* to = out.data + static_cast<std::ptrdiff_t>(offset) * out.stride;
            const float* from = scratch_.data() + c;
            int i = 0;
            for (; i < audible; ++i) {
                to[i * out.stride] = from[static_cast<std::ptrdiff_t>(i) * channels_];
            }
            for (; i < n; ++i) {
                to[i * out.stride] = 0.0f;
            }
        }
        offset += n;
    }
}

void AudioRenderCore::reset() noexcept {
    std::lock_guard lock(mutex_);
    state_.ring.removeAll();
    state_.policy = AudioBufferPolicy(state_.policy.targetFrames, state_.policy.overfillHoldNanos);
}

int AudioRenderCore::bufferedFrames() const {
    std::lock_guard lock(mutex_);
    return state_.ring.availableFrames();
}

std::int64_t AudioRenderCore::droppedFrames() const {
    std::lock_guard lock(mutex_);
    return state_.droppedFrames;
}

std::int64_t AudioRenderCore::underruns() const {
    std::lock_guard lock(mutex_);
    return state_.policy.underruns;
}

bool AudioRenderCore::isMuted() const {
    std::lock_guard lock(mutex_);
    return state_.isMuted;
}

void AudioRenderCore::setMuted(bool muted) {
    std::lock_guard lock(mutex_);
    state_.isMuted = muted;
}

}  // namespace qm
