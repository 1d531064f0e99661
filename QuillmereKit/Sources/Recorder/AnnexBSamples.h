#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "QuillmereCore/Bytes.h"

namespace qm {

// The recorder's view of Annex B access units: MPEG-4 samples hold length-prefixed NAL units
// and keep parameter sets and access unit delimiters out of band. Unlike the decoder's splitter,
// units keep their trailing zero bytes, and the codec comes from the track's media subtype:
// exactly "hvc1" is HEVC, every other key is treated as AVC.
namespace AnnexBSamples {

// Views into `data`, in order; empty units are left out.
std::vector<ByteView> nalUnits(ByteView data);

// HEVC (header >> 1) & 0x3F, AVC header & 0x1F; nothing for an empty unit.
std::optional<std::uint8_t> nalType(ByteView unit, std::uint32_t codec);

// Parameter sets and access unit delimiters of the codec.
bool isOutOfBand(ByteView unit, std::uint32_t codec);

// One sample payload: every in-band unit behind its 4-byte big-endian length.
Bytes lengthPrefixed(ByteView data, std::uint32_t codec);

}  // namespace AnnexBSamples

}  // namespace qm
