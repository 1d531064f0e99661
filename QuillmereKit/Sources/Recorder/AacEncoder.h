#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

#include "QuillmereCore/Bytes.h"
#include "VideoPipeline/FFmpegHandles.h"

namespace qm {

// Encodes the phone's 16-bit PCM (interleaved, little-endian) to AAC at 48 kHz and 128 kbit/s.
// Samples are converted to float planes, gathered in a FIFO that never holds more than one
// frame, and encoded 1024 at a time. Packets are stamped in 1/48000 units by the input they
// carry, so the encoder's priming lies before 0, where the file's edit list leaves it unplayed and
// the first sample in plays with the picture stamped like it. Used on one thread.
class AacEncoder {
public:
    static constexpr int sampleRate = 48000;
    static constexpr int bitRate = 128000;

    // Receives each packet; it stays valid only during the call.
    using PacketSink = std::function<void(AVPacket&)>;

    // Throws RecorderError::cannotStart.
    AacEncoder(int channels, PacketSink sink);

    const AVCodecContext& context() const { return *context_; }

    // `silenceFrames` frames of silence, then `pcm` (whole frames). Returns 0 or the encoder's
    // error status; the samples are queued either way, so the timeline stays whole.
    int encode(std::int64_t silenceFrames, ByteView pcm);
    // Moves the times of everything encoded after this on by `frames`, which have no samples:
    // the frame under way is completed with silence first, and the skip is that much shorter.
    // Returns as encode() does.
    int skip(std::int64_t frames);
    // Encodes the partial last frame and drains the encoder.
    int finish();

private:
    int fill(int frames, const std::uint8_t* pcm);
    int encodeQueued();
    int drain();

    int channels_;
    PacketSink sink_;
    CodecContextHandle context_;
    AudioFifoHandle fifo_;
    FrameHandle frame_;
    PacketHandle packet_;
    std::vector<float> planes_;  // one frame per channel, the conversion's scratch
    std::int64_t framesIn_ = 0;
    std::int64_t packetsOut_ = 0;
    // Skips whose first frame no packet out has reached yet: one or two, the encoder's delay.
    struct Skip {
        std::int64_t fromFrame = 0;
        std::int64_t frames = 0;
    };
    std::deque<Skip> skips_;
    std::int64_t skippedOut_ = 0;
};

}  // namespace qm
