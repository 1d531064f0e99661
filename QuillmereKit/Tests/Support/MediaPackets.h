#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "QuillmereCore/BinaryWriter.h"
#include "QuillmereCore/ByteChannel.h"
#include "QuillmereCore/StreamTypes.h"

namespace qm::test {

// Writes media socket bytes as the device server does: a codec id, then packets with 12-byte
// headers. The raw forms let tests and fakes send headers that break the limits.
void writeCodecID(BinaryWriter& out, std::uint32_t codecID);
void writeSessionHeader(BinaryWriter& out, std::uint32_t flags, std::uint32_t width,
                        std::uint32_t height);
void writeMediaHeader(BinaryWriter& out, std::uint64_t ptsWord, std::uint32_t size);

// The header and payload of `packet`: config packets carry no time, the others their time
// with the key-frame flag.
void writePacket(BinaryWriter& out, const StreamPacket& packet);
void writeSession(BinaryWriter& out, const StreamSession& session);
void writeEvent(BinaryWriter& out, const StreamEvent& event);
Bytes framed(const std::vector<StreamEvent>& events);

// The next event through the real demultiplexer, or nothing once the source has ended.
std::optional<StreamEvent> nextEventOrEnd(ByteSource& source);

}  // namespace qm::test
