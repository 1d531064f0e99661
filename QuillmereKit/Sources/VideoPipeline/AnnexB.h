#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "QuillmereCore/Bytes.h"
#include "QuillmereCore/StreamTypes.h"

namespace qm {

// One whole NAL unit per set, header byte(s) included, without start code.
struct ParameterSets {
    std::optional<Bytes> vps;  // HEVC only
    Bytes sps;
    Bytes pps;

    bool operator==(const ParameterSets&) const = default;
};

// Annex B byte streams (NAL units behind 00 00 01 start codes) as the device server sends them,
// and their length-prefixed form for the decoder. Pure functions, callable from any thread.
namespace AnnexB {

// The decoder's NAL length field; the configuration record announces the same size.
inline constexpr std::size_t lengthPrefixSize = 4;

// Views into `data`, in order: bytes before the first start code and trailing zero bytes of a
// unit are cut, empty units are left out. The vector is cleared first so a caller can reuse it.
void nalUnits(ByteView data, std::vector<ByteView>& units);
std::vector<ByteView> nalUnits(ByteView data);

// h265 when a unit is a VPS, h264 when one is an H.264 SPS; the first such unit decides.
std::optional<VideoCodec> detectCodec(ByteView config);

// Whether `unit` is a slice of a picture decoding can start from: an H.264 IDR, an HEVC IRAP.
bool isRandomAccess(VideoCodec codec, ByteView unit);

// The first unit of each kind; throws VideoPipelineError::missingParameterSet.
ParameterSets parameterSets(VideoCodec codec, ByteView config);

// The byte count of `units` in length-prefixed form.
std::size_t lengthPrefixedSize(std::span<const ByteView> units);
// Writes `units` with 4-byte big-endian lengths into `out`, which holds at least
// lengthPrefixedSize(units) bytes; returns the bytes written.
std::size_t writeLengthPrefixed(std::span<const ByteView> units, std::span<std::uint8_t> out);
// The same units, each behind its 4-byte length instead of a start code.
Bytes toLengthPrefixed(ByteView data);

}  // namespace AnnexB

}  // namespace qm
