// Input: the bytes of an extension socket. Frames are read until the stream ends or breaks.
// Every frame must take exactly its header and announced payload, whether it decodes or not;
// a decoded message must survive another encode and decode unchanged; only an oversized length
// may stop the reading, having taken its 5-byte header and nothing more.
#include "FuzzCheck.h"
#include "QuillmereCore/BinaryError.h"
#include "QuillmereCore/DataByteSource.h"
#include "ServerProtocol/ExtCodec.h"

namespace {

using qm::fuzz::check;

std::size_t announced(const std::uint8_t* header) {
    return qm::ExtCodec::headerSize + ((std::size_t{header[1]} << 24) |
                                       (std::size_t{header[2]} << 16) |
                                       (std::size_t{header[3]} << 8) | header[4]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qm::DataByteSource source(qm::Bytes(data, data + size));
    for (;;) {
        const std::size_t at = size - source.remaining();
        try {
            const qm::ExtMessage message = qm::ExtCodec::next(source);
            check(size - source.remaining() - at == announced(data + at));
            qm::DataByteSource again(qm::ExtCodec::encode(message));
            check(qm::ExtCodec::next(again) == message);
            check(again.remaining() == 0);
        } catch (const qm::BinaryError& error) {
            const std::size_t taken = size - source.remaining() - at;
            if (taken == qm::ExtCodec::headerSize &&
                announced(data + at) > qm::ExtCodec::headerSize + qm::ExtCodec::maxPayloadSize) {
                check(error.kind() == qm::BinaryErrorKind::invalid);
                return 0;
            }
            check(taken == announced(data + at));
        } catch (const qm::ByteIOError& error) {
            check(error.kind() == qm::ByteIOErrorKind::endOfStream);
            return 0;
        }
    }
}
