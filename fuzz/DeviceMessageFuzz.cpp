// Input: the bytes the phone sends on the control socket. Messages are decoded until the
// stream ends or breaks; each must take exactly its own bytes, clipboard text must come out as
// well-formed UTF-8, and only the two expected error types may end the stream.
#include <cstdlib>

#include "FuzzCheck.h"
#include "QuillmereCore/BinaryError.h"
#include "QuillmereCore/DataByteSource.h"
#include "QuillmereCore/UnicodeText.h"
#include "ServerProtocol/DeviceMessageDecoder.h"

namespace {

using qm::fuzz::check;

struct Checker {
    std::size_t consumed;

    void operator()(const qm::Clipboard& m) const {
        check(consumed >= 5 && consumed - 5 <= qm::DeviceMessageDecoder::maxClipboardBytes);
        check(qm::UnicodeText::decodeUTF8(qm::asBytes(m.text)) == m.text);
    }
    void operator()(const qm::AckClipboard&) const { check(consumed == 9); }
    void operator()(const qm::UhidOutput& m) const { check(consumed == 5 + m.data.size()); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qm::DataByteSource source(qm::Bytes(data, data + size));
    try {
        for (;;) {
            const std::size_t before = source.remaining();
            const qm::DeviceMessage message = qm::DeviceMessageDecoder::next(source);
            std::visit(Checker{before - source.remaining()}, message);
        }
    } catch (const qm::BinaryError& error) {
        check(error.kind() == qm::BinaryErrorKind::invalid);
    } catch (const qm::ByteIOError& error) {
        check(error.kind() == qm::ByteIOErrorKind::endOfStream);
    }
    return 0;
}
