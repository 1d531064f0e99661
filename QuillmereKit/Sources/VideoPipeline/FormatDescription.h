#pragma once

#include <cstdint>
#include <vector>

#include "QuillmereCore/Bytes.h"
#include "QuillmereCore/StreamTypes.h"
#include "VideoPipeline/AnnexB.h"

namespace qm {

// The stream format a decoder session and a recording are built from: the parameter sets as
// separate buffers and the codec's decoder configuration record (avcC or hvcC) announcing
// 4-byte NAL lengths, which is what the decoder and an MPEG-4 track take as extradata.
struct FormatDescription {
    static constexpr std::uint32_t avc1 = 0x61766331;  // "avc1"
    static constexpr std::uint32_t hvc1 = 0x68766331;  // "hvc1"

    std::uint32_t mediaSubtype = avc1;
    std::vector<Bytes> parameterSets;  // [VPS,] SPS, PPS in this order
    Bytes configurationRecord;

    bool operator==(const FormatDescription&) const = default;
};

namespace FormatDescriptionFactory {

// Throws VideoPipelineError::missingParameterSet("VPS") for HEVC sets without a VPS, and
// formatDescription(status) when a set is too long for the record or its SPS is malformed.
FormatDescription make(VideoCodec codec, const ParameterSets& parameterSets);

}  // namespace FormatDescriptionFactory

}  // namespace qm
