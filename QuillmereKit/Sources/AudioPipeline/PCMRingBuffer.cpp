#include "AudioPipeline/PCMRingBuffer.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace qm {
namespace {

// -32768 becomes exactly -1; 32767 falls just short of 1.
constexpr float sampleScale = 1.0f / 32768.0f;

void convert(const std::uint8_t* from, float* to, std::size_t samples) noexcept {
    for (std::size_t i = 0; i < samples; ++i) {
        const auto sample = static_cast<std::int16_t>(from[2 * i] | (from[2 * i + 1] << 8));
        to[i] = static_cast<float>(sample) * sampleScale;
    }
}

}  // namespace

PCMRingBuffer::PCMRingBuffer(int capacityFrames, int channels)
    : capacityFrames_(capacityFrames), channels_(channels) {
    if (capacityFrames < 1 || channels < 1) {
        throw std::invalid_argument("a PCM ring needs at least one frame of one channel");
    }
    storage_.resize(static_cast<std::size_t>(capacityFrames) * static_cast<std::size_t>(channels));
}

std::int64_t PCMRingBuffer::write(ByteView pcm) noexcept {
    const std::size_t frameBytes = static_cast<std::size_t>(channels_) * 2;
    const std::size_t whole = pcm.size() / frameBytes;
    if (whole == 0) {
        return 0;
    }
    const int frames = static_cast<int>(std::min<std::size_t>(whole, std::size_t(capacityFrames_)));
    const std::size_t skip = whole - static_cast<std::size_t>(frames);
    std::int64_t dropped = static_cast<std::int64_t>(skip);
    const int overflow = availableFrames_ + frames - capacityFrames_;
    if (overflow >= 1) {
        dropped += discard(overflow);
    }

    const std::uint8_t* from = pcm.data() + skip * frameBytes;
    int at = (readFrame_ + availableFrames_) % capacityFrames_;
    for (int left = frames; left > 0;) {
        const int run = std::min(left, capacityFrames_ - at);
        const std::size_t samples = static_cast<std::size_t>(run) * std::size_t(channels_);
        convert(from, storage_.data() + static_cast<std::size_t>(at) * std::size_t(channels_),
                samples);
        from += samples * 2;
        left -= run;
        at = 0;
    }
    availableFrames_ += frames;
    return dropped;
}

int PCMRingBuffer::read(std::span<float> into) noexcept {
    const int frames = static_cast<int>(
        std::min(into.size() / std::size_t(channels_), std::size_t(availableFrames_)));
    float* to = into.data();
    int at = readFrame_;
    for (int left = frames; left > 0;) {
        const int run = std::min(left, capacityFrames_ - at);
        const std::size_t samples = static_cast<std::size_t>(run) * std::size_t(channels_);
        std::memcpy(to, storage_.data() + static_cast<std::size_t>(at) * std::size_t(channels_),
                    samples * sizeof(float));
        to += samples;
        left -= run;
        at = 0;
    }
    readFrame_ = (readFrame_ + frames) % capacityFrames_;
    availableFrames_ -= frames;
    return frames;
}

int PCMRingBuffer::discard(int frames) noexcept {
    const int n = std::clamp(frames, 0, availableFrames_);
    readFrame_ = (readFrame_ + n) % capacityFrames_;
    availableFrames_ -= n;
    return n;
}

void PCMRingBuffer::removeAll() noexcept {
    readFrame_ = 0;
    availableFrames_ = 0;
}

}  // namespace qm
