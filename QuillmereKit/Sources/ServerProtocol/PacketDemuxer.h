#pragma once

#include <cstddef>
#include <cstdint>
#include <stop_token>

#include "QuillmereCore/ByteChannel.h"
#include "QuillmereCore/StreamTypes.h"

// Reads the server's media sockets: a 4-byte codec id, then packets of a 12-byte header and, for
// media packets, a payload. Keeps no state; each call reads exactly one item, so one source has
// one reader at a time.
namespace qm::PacketDemuxer {

inline constexpr std::size_t headerSize = 12;
inline constexpr std::uint32_t maxPacketSize = 16777216;
inline constexpr std::uint32_t maxSessionDimension = 65535;

// The id as sent: a codec FourCC, or 0 (stream disabled) or 1 (configuration error).
std::uint32_t readCodecID(ByteSource& source, std::stop_token stop = {});

// Source errors pass through unchanged. A header that breaks the limits throws
// BinaryError.invalid without reading further, leaving the stream mid-packet: stop reading then.
StreamEvent nextEvent(ByteSource& source, std::stop_token stop = {});

}  // namespace qm::PacketDemuxer
