#pragma once

#include <cstdint>

namespace qm {

// Places PCM packets on the recording's audio clock: 48 kHz frames counted from the first key
// frame, which is time 0 for both tracks. A packet starts at its own time or where the previous
// one ended, whichever is later, so audio never overlaps or goes back; frames before 0 are cut.
// A gap up to `maxSilenceFrames` is filled with silence; a longer one is skipped over in the
// file's times, so that the audio after it still plays with its video at no cost per second
// of gap. A jump beyond `maxSkipFrames` is a broken time: the packet simply follows on.
class AudioTimeline {
public:
    static constexpr std::int64_t sampleRate = 48000;
    // Six hours: the muxer takes a sample's duration up to about twelve.
    static constexpr std::int64_t maxSkipFrames = 6 * 3600 * sampleRate;

    struct Placement {
        std::int64_t cutFrames = 0;      // dropped from the front of the packet
        std::int64_t silenceFrames = 0;  // written before what remains
        std::int64_t startFrame = 0;     // where what remains begins
        std::int64_t skippedFrames = 0;  // passed over, without samples, before what remains

        bool operator==(const Placement&) const = default;
    };

    explicit AudioTimeline(std::int64_t maxSilenceFrames) : maxSilenceFrames_(maxSilenceFrames) {}

    // A packet of `frames` frames stamped `offsetMicros` after the first key frame.
    Placement place(std::int64_t offsetMicros, std::int64_t frames);

    // Rounded down, so a packet never starts later than its time.
    static std::int64_t framesAt(std::int64_t micros);

private:
    std::int64_t maxSilenceFrames_;
    std::int64_t next_ = 0;
    bool placed_ = false;
};

}  // namespace qm
