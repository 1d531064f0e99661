#include "Support/MediaPackets.h"

#include "ServerProtocol/PacketDemuxer.h"

namespace qm::test {

void writeCodecID(BinaryWriter& out, std::uint32_t codecID) {
    out.u32(codecID);
}

void writeSessionHeader(BinaryWriter& out, std::uint32_t flags, std::uint32_t width,
                        std::uint32_t height) {
    out.u32(flags | 0x80000000u);
    out.u32(width);
    out.u32(height);
}

void writeMediaHeader(BinaryWriter& out, std::uint64_t ptsWord, std::uint32_t size) {
    out.u64(ptsWord);
    out.u32(size);
}

void writePacket(BinaryWriter& out, const StreamPacket& packet) {
    std::uint64_t ptsWord = 0;
    switch (packet.kind) {
        case StreamPacket::Kind::config:
            ptsWord = std::uint64_t{1} << 62;
            break;
        case StreamPacket::Kind::keyFrame:
            ptsWord = (std::uint64_t{1} << 61) | static_cast<std::uint64_t>(*packet.ptsMicros);
            break;
        case StreamPacket::Kind::frame:
            ptsWord = static_cast<std::uint64_t>(*packet.ptsMicros);
            break;
    }
    writeMediaHeader(out, ptsWord, static_cast<std::uint32_t>(packet.data.size()));
    out.bytes(packet.data);
}

void writeSession(BinaryWriter& out, const StreamSession& session) {
    writeSessionHeader(out, session.clientResized ? 1 : 0,
                       static_cast<std::uint32_t>(session.size.width),
                       static_cast<std::uint32_t>(session.size.height));
}

void writeEvent(BinaryWriter& out, const StreamEvent& event) {
    if (const auto* session = std::get_if<StreamSession>(&event)) {
        writeSession(out, *session);
    } else {
        writePacket(out, std::get<StreamPacket>(event));
    }
}

Bytes framed(const std::vector<StreamEvent>& events) {
    BinaryWriter out;
    for (const StreamEvent& event : events) {
        writeEvent(out, event);
    }
    return out.take();
}

std::optional<StreamEvent> nextEventOrEnd(ByteSource& source) {
    try {
        return PacketDemuxer::nextEvent(source);
    } catch (const ByteIOError& error) {
        if (error.kind() == ByteIOErrorKind::endOfStream) {
            return std::nullopt;
        }
        throw;
    }
}

}  // namespace qm::test
