// Any bytes as a sequence parameter set of either codec: the size reader refuses what it cannot
// read and never reports an empty picture or one that skipped the fields read before the size.
#include "FuzzCheck.h"
#include "VideoPipeline/ParameterSetSyntax.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    using qm::fuzz::check;
    const qm::ByteView sps(bytes, size);
    for (qm::VideoCodec codec : {qm::VideoCodec::h264, qm::VideoCodec::h265}) {
        if (const auto picture = qm::croppedPictureSize(codec, sps)) {
            check(picture->width > 0 && picture->width <= 65535);
            check(picture->height > 0 && picture->height <= 65535);
            check(codec == qm::VideoCodec::h264 ? qm::parseAvcSequence(sps).has_value()
                                                : qm::parseHevcSequence(sps).has_value());
        }
    }
    return 0;
}
