#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "QuillmereCore/Bytes.h"
#include "VideoPipeline/FFmpegHandles.h"
#include "VideoPipeline/FormatDescription.h"
#include "VideoPipeline/PixelBuffer.h"

namespace qm {

// One libavcodec decoding context built from a stream format: what the software and the
// hardware backends share. One thread at a time uses it.
class CodecSession {
public:
    // Runs on the new context before it opens; may throw VideoPipelineError.
    using Prepare = std::function<void(AVCodecContext&)>;

    CodecSession();

    // Replaces any context with one for `format`, with `threadCount` slice threads (0: as many
    // as the library picks). Throws VideoPipelineError::decoderCreation.
    void open(const FormatDescription& format, int threadCount, const Prepare& prepare = {});
    void close() noexcept { context_.reset(); }
    bool isOpen() const noexcept { return context_ != nullptr; }

    // Decodes one access unit (NAL units without start codes) and hands every picture it
    // completes, each in a record from `pool`, to `onPicture`, which returns 0 or a status that
    // ends the call. Returns 0 or the first failure; a damaged picture is AVERROR_INVALIDDATA.
    template <class OnPicture>
    int decode(std::span<const ByteView> nalUnits, std::int64_t ptsMicros, FramePool& pool,
               OnPicture&& onPicture) {
        if (const int sent = send(nalUnits, ptsMicros); sent < 0) {
            return sent;
        }
        for (;;) {
            PixelBuffer picture = pool.acquire();
            const int received = receive(picture);
            if (received == AVERROR(EAGAIN)) {
                return 0;
            }
            if (received < 0) {
                return received;
            }
            if (const int status = onPicture(std::move(picture)); status < 0) {
                return status;
            }
        }
    }

private:
    int send(std::span<const ByteView> nalUnits, std::int64_t ptsMicros);
    int receive(PixelBuffer& picture);
    AVBufferRef* packetBuffer(std::size_t size);

    CodecContextHandle context_;
    PacketHandle packet_;
    // Packet memory grows to the largest access unit seen, so steady decoding allocates nothing.
    BufferPoolHandle packetPool_;
    std::size_t packetPoolSize_ = 0;
};

}  // namespace qm
