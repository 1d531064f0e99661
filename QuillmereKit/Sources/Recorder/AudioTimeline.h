#pragma once

#include <cstdint>

namespace qm {

// Places PCM packets on the recording's audio clock: 48 kHz frames counted from the first key
// frame, which is time 0 for both tracks. A packet starts at its own time or where the previous
// one ended, whichever is later, so audio never overlaps or goes back; frames before 0 are cut
// and a gap is filled with silence, unless it is longer than `maxGapFrames`: such a jump is a
// broken time, and the packet simply follows on.
class AudioTimeline {
public:
    static constexpr std::int64_t sampleRate = 48000;

    struct Placement {
        std::int64_t cutFrames = 0;      // dropped from the front of the packet
        std::int64_t silenceFrames = 0;  // written before what remains
        std::int64_t startFrame = 0;     // where what remains begins

        bool operator==(const Placement&) const = default;
    };

    explicit AudioTimeline(std::int64_t maxGapFrames) : maxGapFrames_(maxGapFrames) {}

    // A packet of `frames` frames stamped `offsetMicros` after the first key frame.
    Placement place(std::int64_t offsetMicros, std::int64_t frames);

    // Rounded down, so a packet never starts later than its time.
    static std::int64_t framesAt(std::int64_t micros);

private:
    std::int64_t maxGapFrames_;
    std::int64_t next_ = 0;
    bool placed_ = false;
};

}  // namespace qm
