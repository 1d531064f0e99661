// Input: a media socket's bytes (codec id, then packets). Events are read until the stream
// ends or breaks; every event must respect the limits and take exactly its header and payload,
// and a refused header must take nothing beyond its 12 bytes.
#include <cstdlib>

#include "FuzzCheck.h"
#include "QuillmereCore/BinaryError.h"
#include "QuillmereCore/DataByteSource.h"
#include "ServerProtocol/PacketDemuxer.h"

namespace {

using qm::fuzz::check;

struct Checker {
    std::size_t consumed;

    void operator()(const qm::StreamSession& s) const {
        check(consumed == qm::PacketDemuxer::headerSize);
        check(s.size.width >= 1 && s.size.width <= 65535);
        check(s.size.height >= 1 && s.size.height <= 65535);
    }
    void operator()(const qm::StreamPacket& p) const {
        check(consumed == qm::PacketDemuxer::headerSize + p.data.size());
        check(!p.data.empty() && p.data.size() <= qm::PacketDemuxer::maxPacketSize);
        check((p.kind == qm::StreamPacket::Kind::config) == !p.ptsMicros.has_value());
        check(!p.ptsMicros || (*p.ptsMicros >= 0 && *p.ptsMicros < (std::int64_t{1} << 61)));
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qm::DataByteSource source(qm::Bytes(data, data + size));
    std::size_t before = source.remaining();
    try {
        qm::PacketDemuxer::readCodecID(source);
        for (;;) {
            before = source.remaining();
            const qm::StreamEvent event = qm::PacketDemuxer::nextEvent(source);
            std::visit(Checker{before - source.remaining()}, event);
        }
    } catch (const qm::BinaryError& error) {
        check(error.kind() == qm::BinaryErrorKind::invalid);
        check(before - source.remaining() == qm::PacketDemuxer::headerSize);
    } catch (const qm::ByteIOError& error) {
        check(error.kind() == qm::ByteIOErrorKind::endOfStream);
    }
    return 0;
}
