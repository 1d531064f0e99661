#pragma once

#include "QuillmereCore/StreamTypes.h"

namespace qm {

// What the decoder asks of its owner after a failure, in escalating order.
enum class RecoveryAction { requestKeyFrame, recreateDecoder, fallbackToH264, giveUp };

// Consecutive failures climb the ladder; one decoded frame starts it again.
class DecoderRecoveryPolicy {
public:
    explicit DecoderRecoveryPolicy(VideoCodec codec) : codec_(codec) {}

    VideoCodec codec() const noexcept { return codec_; }
    RecoveryAction decodeFailed() noexcept;
    void frameDecoded() noexcept { consecutiveFailures_ = 0; }

private:
    VideoCodec codec_;
    int consecutiveFailures_ = 0;
};

}  // namespace qm
