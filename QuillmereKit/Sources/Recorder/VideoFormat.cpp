#include "Recorder/VideoFormat.h"

#include <vector>

#include "Recorder/AnnexBSamples.h"
#include "VideoPipeline/ParameterSetSyntax.h"
#include "VideoPipeline/VideoPipelineError.h"

namespace qm {

namespace VideoFormat {

std::optional<VideoParameterSets> collect(std::span<const ByteView> units, std::uint32_t codec) {
    const bool hevc = codec == FormatDescription::hvc1;
    std::optional<ByteView> vps, sps, pps;
    for (ByteView unit : units) {
        const auto type = AnnexBSamples::nalType(unit, codec);
        if (!type) {
            continue;
        }
        std::optional<ByteView>* slot = nullptr;
        if (hevc) {
            slot = *type == 32 ? &vps : *type == 33 ? &sps : *type == 34 ? &pps : nullptr;
        } else {
            slot = *type == 7 ? &sps : *type == 8 ? &pps : nullptr;
        }
        if (slot && !*slot) {
            *slot = unit;
        }
    }
    if (!sps || !pps || (hevc && !vps)) {
        return std::nullopt;
    }
    VideoParameterSets sets{std::nullopt, Bytes(sps->begin(), sps->end()),
                            Bytes(pps->begin(), pps->end())};
    if (hevc) {
        sets.vps = Bytes(vps->begin(), vps->end());
    }
    return sets;
}

std::optional<VideoParameterSets> parameterSets(ByteView config, std::uint32_t codec) {
    const std::vector<ByteView> units = AnnexBSamples::nalUnits(config);
    return collect(units, codec);
}

std::optional<VideoParameterSets> parameterSets(const FormatDescription& format) {
    const std::vector<ByteView> units(format.parameterSets.begin(), format.parameterSets.end());
    return collect(units, format.mediaSubtype);
}

std::optional<FormatDescription> make(std::uint32_t codec, const VideoParameterSets& sets) {
    const bool hevc = codec == FormatDescription::hvc1;
    if (hevc && !sets.vps) {
        return std::nullopt;
    }
    try {
        return FormatDescriptionFactory::make(
            hevc ? VideoCodec::h265 : VideoCodec::h264,
            ParameterSets{hevc ? sets.vps : std::nullopt, sets.sps, sets.pps});
    } catch (const VideoPipelineError&) {
        return std::nullopt;
    }
}

std::optional<VideoSize> pictureSize(const FormatDescription& format) {
    const auto sets = parameterSets(format);
    if (!sets) {
        return std::nullopt;
    }
    return croppedPictureSize(
        format.mediaSubtype == FormatDescription::hvc1 ? VideoCodec::h265 : VideoCodec::h264,
        sets->sps);
}

}  // namespace VideoFormat

}  // namespace qm
