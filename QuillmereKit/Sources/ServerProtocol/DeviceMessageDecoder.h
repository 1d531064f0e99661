#pragma once

#include <cstddef>
#include <stop_token>

#include "QuillmereCore/ByteChannel.h"
#include "ServerProtocol/DeviceMessage.h"

namespace qm::DeviceMessageDecoder {

inline constexpr std::size_t maxClipboardBytes = 262139;

// Reads exactly one message, and only its bytes. Source errors pass through unchanged; an
// unknown type or an oversized clipboard throws BinaryError.invalid, after which the position in
// the stream is lost and the caller must stop reading.
DeviceMessage next(ByteSource& source, std::stop_token stop = {});

}  // namespace qm::DeviceMessageDecoder
