#pragma once

#include <cerrno>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>

#include "QuillmereCore/Bytes.h"
#include "VideoPipeline/DecoderKind.h"
#include "VideoPipeline/FormatDescription.h"
#include "VideoPipeline/PixelBuffer.h"

namespace qm {

// The codec under VideoDecoder: software, VAAPI with software behind it, or a scripted one in
// tests. The decoder's configuration, key-frame wait and recovery stay above it.
class VideoDecoderBackend {
public:
    // A decode status meaning the session is gone (a lost device or context): the decoder then
    // builds a new one from the current format.
    static constexpr std::int32_t sessionInvalidStatus = -ENODEV;

    using PictureHandler = std::function<void(PixelBuffer&&)>;

    virtual ~VideoDecoderBackend() = default;

    // Replaces any session with one for `format`; throws VideoPipelineError::decoderCreation.
    virtual void createSession(const FormatDescription& format) = 0;
    virtual void invalidateSession() noexcept = 0;
    virtual bool hasSession() const noexcept = 0;

    // Decodes one access unit synchronously: `onPicture` has run for every picture it produced
    // when this returns. Returns 0 or the failure's status; a unit that yields no picture yet is
    // not a failure.
    virtual std::int32_t decode(std::span<const ByteView> nalUnits, std::int64_t ptsMicros,
                                const PictureHandler& onPicture) = 0;

    // The decoder at work now; any thread may ask.
    virtual DecoderKind kind() const noexcept { return DecoderKind::software; }
};

struct SoftwareDecoderOptions {
    // Slice threads (0: as many as the library picks).
    int threadCount = 0;
};

std::unique_ptr<VideoDecoderBackend> makeSoftwareDecoderBackend(
    SoftwareDecoderOptions options = {});

}  // namespace qm
