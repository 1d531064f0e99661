#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "QuillmereCore/Bytes.h"
#include "VideoPipeline/FormatDescription.h"

namespace qm {

// Whole NAL units with their header byte(s), without start code or length prefix.
struct VideoParameterSets {
    std::optional<Bytes> vps;  // HEVC only
    Bytes sps;
    Bytes pps;

    bool operator==(const VideoParameterSets&) const = default;
};

// The recording's track format, keyed by media subtype ("hvc1" is HEVC, anything else AVC).
namespace VideoFormat {

std::optional<VideoParameterSets> parameterSets(ByteView config, std::uint32_t codec);
std::optional<VideoParameterSets> parameterSets(const FormatDescription& format);
std::optional<FormatDescription> make(std::uint32_t codec, const VideoParameterSets& sets);

// The size of the track's pictures, read from its SPS; nothing when it cannot be read.
std::optional<VideoSize> pictureSize(const FormatDescription& format);

// The first unit of each kind; complete only with SPS and PPS, and a VPS for HEVC.
std::optional<VideoParameterSets> collect(std::span<const ByteView> units, std::uint32_t codec);

}  // namespace VideoFormat

}  // namespace qm
