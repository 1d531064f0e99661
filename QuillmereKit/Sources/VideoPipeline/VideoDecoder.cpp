#include "VideoPipeline/VideoDecoder.h"

#include <utility>

#include "QuillmereCore/HostClock.h"
#include "QuillmereCore/Log.h"
#include "VideoPipeline/VideoPipelineError.h"

namespace qm {

VideoDecoder::VideoDecoder(FrameHandler onFrame, FailureHandler onFailure,
                           std::unique_ptr<VideoDecoderBackend> backend)
    : onFrame_(std::move(onFrame)), onFailure_(std::move(onFailure)), backend_(std::move(backend)) {
    deliver_ = [this](PixelBuffer&& picture) {
        delivered_ = true;
        onFrame_(DecodedFrame{std::move(picture), currentPts_, HostClock::nowNanos()});
    };
}

VideoDecoder::~VideoDecoder() = default;

void VideoDecoder::handle(const StreamEvent& event) {
    if (const auto* packet = std::get_if<StreamPacket>(&event)) {
        if (packet->kind == StreamPacket::Kind::config) {
            configure(packet->data);
        } else {
            decode(*packet);
        }
        return;
    }
    // A new video session: its own config and key frame come next; a config equal to the
    // current one keeps the running session.
    awaitingConfig_ = true;
    awaitingKeyFrame_ = true;
}

std::shared_ptr<const FormatDescription> VideoDecoder::formatDescription() const {
    std::lock_guard lock(formatMutex_);
    return format_;
}

void VideoDecoder::invalidate() {
    backend_->invalidateSession();
    {
        std::lock_guard lock(formatMutex_);
        format_.reset();
    }
    parameterSets_.reset();
    awaitingConfig_ = true;
    awaitingKeyFrame_ = true;
}

void VideoDecoder::configure(ByteView config) {
    try {
        const std::optional<VideoCodec> codec = AnnexB::detectCodec(config);
        if (!codec) {
            throw VideoPipelineError::missingParameterSet("SPS");
        }
        ParameterSets sets = AnnexB::parameterSets(*codec, config);
        if (!codec_ || *codec_ != *codec) {
            policy_.emplace(*codec);
        }
        codec_ = codec;
        awaitingConfig_ = false;
        if (parameterSets_ == sets && backend_->hasSession()) {
            return;  // a repeated config costs nothing
        }
        auto format =
            std::make_shared<const FormatDescription>(FormatDescriptionFactory::make(*codec, sets));
        parameterSets_ = std::move(sets);
        {
            std::lock_guard lock(formatMutex_);
            format_ = format;
        }
        createSession(*format);
        awaitingKeyFrame_ = true;
    } catch (const VideoPipelineError& error) {
        Log::video().error("config rejected: {}", error.message());
        fail(std::nullopt);
    }
}

void VideoDecoder::createSession(const FormatDescription& format) {
    backend_->invalidateSession();
    backend_->createSession(format);
}

void VideoDecoder::decode(const StreamPacket& packet) {
    if (awaitingConfig_ || !backend_->hasSession() || !formatDescription()) {
        return;
    }
    if (awaitingKeyFrame_) {
        if (packet.kind != StreamPacket::Kind::keyFrame) {
            return;
        }
        awaitingKeyFrame_ = false;
    }
    AnnexB::nalUnits(packet.data, units_);
    if (units_.empty()) {
        fail(std::nullopt);
        return;
    }
    currentPts_ = packet.ptsMicros.value_or(0);
    delivered_ = false;
    const std::int32_t status = backend_->decode(units_, currentPts_, deliver_);
    if (status == 0) {
        if (delivered_ && policy_) {
            policy_->frameDecoded();
        }
        return;
    }
    Log::video().error("decode failed: {}", status);
    fail(status);
}

void VideoDecoder::fail(std::optional<std::int32_t> status) {
    DecoderRecoveryPolicy policy =
        policy_.value_or(DecoderRecoveryPolicy(codec_.value_or(VideoCodec::h264)));
    const RecoveryAction action = policy.decodeFailed();
    policy_ = policy;
    awaitingKeyFrame_ = true;
    if (action == RecoveryAction::recreateDecoder ||
        status == VideoDecoderBackend::sessionInvalidStatus) {
        if (const auto format = formatDescription()) {
            try {
                createSession(*format);
            } catch (const VideoPipelineError& error) {
                Log::video().error("decoder recreation failed: {}", error.message());
            }
        }
    }
    onFailure_(action);
}

}  // namespace qm
