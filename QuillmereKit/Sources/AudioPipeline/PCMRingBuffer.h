#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "QuillmereCore/Bytes.h"

namespace qm {

// A fixed ring of interleaved float frames fed with the phone's signed 16-bit little-endian PCM.
// When full, the oldest frames give way. Storage is allocated once; not thread-safe (the render
// core guards it).
class PCMRingBuffer {
public:
    // Both must be at least 1 (std::invalid_argument otherwise).
    PCMRingBuffer(int capacityFrames, int channels);

    int capacityFrames() const noexcept { return capacityFrames_; }
    int channels() const noexcept { return channels_; }
    int availableFrames() const noexcept { return availableFrames_; }

    // Appends the whole frames of `pcm` (a trailing partial frame is ignored); returns the frames
    // dropped to make room, the oldest first: buffered ones, or the head of an oversized packet.
    std::int64_t write(ByteView pcm) noexcept;
    // Moves up to `into.size() / channels()` of the oldest frames, interleaved, into `into`;
    // returns how many.
    int read(std::span<float> into) noexcept;
    // Drops up to `frames` of the oldest frames; returns how many.
    int discard(int frames) noexcept;
    // Forgets every frame; the stale samples stay in storage, never to be read.
    void removeAll() noexcept;

private:
    int capacityFrames_;
    int channels_;
    int availableFrames_ = 0;
    std::vector<float> storage_;
    int readFrame_ = 0;
};

}  // namespace qm
