#include "VideoPipeline/FormatDescription.h"

#include <limits>

extern "C" {
#include <libavutil/error.h>
}

#include "QuillmereCore/BinaryWriter.h"
#include "VideoPipeline/ParameterSetSyntax.h"
#include "VideoPipeline/VideoPipelineError.h"

namespace qm {

namespace FormatDescriptionFactory {

namespace {

constexpr std::uint8_t lengthSizeMinusOne = AnnexB::lengthPrefixSize - 1;
static_assert(AnnexB::lengthPrefixSize == 4, "the record and the samples share one NAL length");

[[noreturn]] void refuse() {
    throw VideoPipelineError::formatDescription(AVERROR_INVALIDDATA);
}

void writeSet(BinaryWriter& writer, const Bytes& set) {
    if (set.empty() || set.size() > std::numeric_limits<std::uint16_t>::max()) {
        refuse();
    }
    writer.lengthPrefixed(set, 2);
}

Bytes avcRecord(const ParameterSets& sets) {
    const auto info = parseAvcSequence(sets.sps);
    if (!info) {
        refuse();
    }
    BinaryWriter writer;
    writer.u8(1);  // configurationVersion
    writer.u8(info->profileIdc);
    writer.u8(info->constraintFlags);
    writer.u8(info->levelIdc);
    writer.u8(0xFC | lengthSizeMinusOne);
    writer.u8(0xE0 | 1);  // one SPS
    writeSet(writer, sets.sps);
    writer.u8(1);  // one PPS
    writeSet(writer, sets.pps);
    if (info->profileIdc == 100 || info->profileIdc == 110 || info->profileIdc == 122 ||
        info->profileIdc == 144) {
        writer.u8(0xFC | info->chromaFormatIdc);
        writer.u8(0xF8 | info->bitDepthLumaMinus8);
        writer.u8(0xF8 | info->bitDepthChromaMinus8);
        writer.u8(0);  // no SPS extensions
    }
    return writer.take();
}

Bytes hevcRecord(const ParameterSets& sets) {
    const auto info = parseHevcSequence(sets.sps);
    if (!info) {
        refuse();
    }
    BinaryWriter writer;
    writer.reserve(23 + 3 * 5 + sets.vps->size() + sets.sps.size() + sets.pps.size());
    writer.u8(1);  // configurationVersion
    for (std::uint8_t byte : info->generalProfileTierLevel) {
        writer.u8(byte);
    }
    writer.u16(0xF000);  // min_spatial_segmentation_idc 0
    writer.u8(0xFC);     // parallelismType unknown
    writer.u8(0xFC | info->chromaFormatIdc);
    writer.u8(0xF8 | info->bitDepthLumaMinus8);
    writer.u8(0xF8 | info->bitDepthChromaMinus8);
    writer.u16(0);  // avgFrameRate unknown
    writer.u8(static_cast<std::uint8_t>(((info->maxSubLayersMinus1 + 1) << 3) |
                                        (info->temporalIdNesting ? 0x04 : 0) | lengthSizeMinusOne));
    writer.u8(3);  // arrays: VPS, SPS, PPS
    const std::pair<std::uint8_t, const Bytes*> arrays[] = {
        {32, &*sets.vps}, {33, &sets.sps}, {34, &sets.pps}};
    for (const auto& [type, set] : arrays) {
        writer.u8(0x80 | type);  // array_completeness
        writer.u16(1);
        writeSet(writer, *set);
    }
    return writer.take();
}

}  // namespace

FormatDescription make(VideoCodec codec, const ParameterSets& parameterSets) {
    FormatDescription format;
    if (codec == VideoCodec::h265) {
        if (!parameterSets.vps) {
            throw VideoPipelineError::missingParameterSet("VPS");
        }
        format.mediaSubtype = FormatDescription::hvc1;
        format.configurationRecord = hevcRecord(parameterSets);
        format.parameterSets = {*parameterSets.vps, parameterSets.sps, parameterSets.pps};
    } else {
        format.mediaSubtype = FormatDescription::avc1;
        format.configurationRecord = avcRecord(parameterSets);
        format.parameterSets = {parameterSets.sps, parameterSets.pps};
    }
    return format;
}

}  // namespace FormatDescriptionFactory

}  // namespace qm
