#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "QuillmereCore/StreamTypes.h"
#include "VideoPipeline/AnnexB.h"
#include "VideoPipeline/DecodedFrame.h"
#include "VideoPipeline/DecoderRecoveryPolicy.h"
#include "VideoPipeline/FormatDescription.h"
#include "VideoPipeline/VideoDecoderBackend.h"

namespace qm {

// Turns the demultiplexed video stream into decoded frames. It configures itself from config
// packets, waits for a key frame after every (re)configuration or failure, decodes synchronously
// and reports each failure as the next step of an escalating recovery.
//
// One thread at a time feeds it through handle(); both callbacks run on that thread and must
// not block. Only formatDescription() and decoderKind() may be called from other threads.
class VideoDecoder {
public:
    using FrameHandler = std::function<void(DecodedFrame)>;
    using FailureHandler = std::function<void(RecoveryAction)>;

    VideoDecoder(FrameHandler onFrame, FailureHandler onFailure,
                 std::unique_ptr<VideoDecoderBackend> backend = makeSoftwareDecoderBackend());
    ~VideoDecoder();
    VideoDecoder(const VideoDecoder&) = delete;
    VideoDecoder& operator=(const VideoDecoder&) = delete;

    void handle(const StreamEvent& event);

    // The format the current session was built from; a recording takes it when it starts.
    std::shared_ptr<const FormatDescription> formatDescription() const;
    // The decoder at work now; any thread may ask.
    DecoderKind decoderKind() const noexcept { return backend_->kind(); }

    // Drops the session and the format; the next config starts over. Codec and policy stay.
    void invalidate();

private:
    void configure(ByteView config);
    void decode(const StreamPacket& packet);
    void createSession(const FormatDescription& format);
    void fail(std::optional<std::int32_t> status);

    FrameHandler onFrame_;
    FailureHandler onFailure_;
    std::unique_ptr<VideoDecoderBackend> backend_;
    std::optional<VideoCodec> codec_;
    std::optional<ParameterSets> parameterSets_;
    std::optional<DecoderRecoveryPolicy> policy_;
    bool awaitingConfig_ = true;
    bool awaitingKeyFrame_ = true;

    mutable std::mutex formatMutex_;
    std::shared_ptr<const FormatDescription> format_;

    // Per-packet scratch kept between calls so steady decoding allocates nothing.
    std::vector<ByteView> units_;
    std::int64_t currentPts_ = 0;
    bool delivered_ = false;
    VideoDecoderBackend::PictureHandler deliver_;
};

}  // namespace qm
