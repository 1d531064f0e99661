#include "VideoPipeline/DecoderRecoveryPolicy.h"

namespace qm {

RecoveryAction DecoderRecoveryPolicy::decodeFailed() noexcept {
    if (consecutiveFailures_ < 4) {
        ++consecutiveFailures_;
    }
    switch (consecutiveFailures_) {
        case 1:
            return RecoveryAction::requestKeyFrame;
        case 2:
            return RecoveryAction::recreateDecoder;
        case 3:
            return codec_ == VideoCodec::h265 ? RecoveryAction::fallbackToH264
                                              : RecoveryAction::giveUp;
        default:
            return RecoveryAction::giveUp;
    }
}

}  // namespace qm
