#pragma once

#include <cstddef>
#include <cstdint>
#include <stop_token>

#include "QuillmereCore/ByteChannel.h"
#include "ServerProtocol/ExtMessage.h"

// Frames of the extension channel: a type byte, a big-endian 4-byte payload length, the payload.
namespace qm::ExtCodec {

inline constexpr std::size_t headerSize = 5;
inline constexpr std::uint32_t maxPayloadSize = 33554432;
// Texts carry a 2-byte length; longer ones are cut at a character boundary.
inline constexpr std::size_t maxTextBytes = 65535;

// The whole frame of any message, in one buffer.
Bytes encode(const ExtMessage& message);

// Reads exactly one frame. Source errors pass through unchanged; a bad payload throws
// BinaryError after the whole frame was read, so reading may go on. A length above the limit
// throws BinaryError.invalid before the payload is read: the stream is then out of step.
ExtMessage next(ByteSource& source, std::stop_token stop = {});

}  // namespace qm::ExtCodec
