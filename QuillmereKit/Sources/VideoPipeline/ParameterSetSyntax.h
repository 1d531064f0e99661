#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "QuillmereCore/Bytes.h"
#include "QuillmereCore/StreamTypes.h"

namespace qm {

// The few sequence parameter set fields a decoder configuration record repeats. Parsing reads
// only the start of the set and stops at the first malformed field.
struct AvcSequenceInfo {
    std::uint8_t profileIdc = 0;
    std::uint8_t constraintFlags = 0;
    std::uint8_t levelIdc = 0;
    std::uint8_t chromaFormatIdc = 1;
    std::uint8_t bitDepthLumaMinus8 = 0;
    std::uint8_t bitDepthChromaMinus8 = 0;
};

struct HevcSequenceInfo {
    // general_profile_space, tier and profile_idc, then compatibility flags (4 bytes),
    // constraint flags (6 bytes) and general_level_idc: the 12 bytes of the record as coded.
    std::array<std::uint8_t, 12> generalProfileTierLevel{};
    std::uint8_t maxSubLayersMinus1 = 0;
    bool temporalIdNesting = false;
    std::uint8_t chromaFormatIdc = 1;
    std::uint8_t bitDepthLumaMinus8 = 0;
    std::uint8_t bitDepthChromaMinus8 = 0;
};

// `sps` is a whole NAL unit with its header, emulation prevention bytes included.
std::optional<AvcSequenceInfo> parseAvcSequence(ByteView sps);
std::optional<HevcSequenceInfo> parseHevcSequence(ByteView sps);

// The size of the pictures a decoder outputs: the coded size less the cropping (conformance)
// window. Nothing when the set is malformed or the picture is empty or beyond 65535 across.
std::optional<VideoSize> croppedPictureSize(VideoCodec codec, ByteView sps);

}  // namespace qm
