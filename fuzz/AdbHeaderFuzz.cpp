// Input: a header candidate (the first 24 bytes, or fewer) and the payload after it. A header
// that decodes must hold exactly the fields on the wire and re-encode to them; joining it with
// the payload succeeds exactly when the lengths agree.
#include <cstdlib>
#include <cstring>

#include "DeviceLink/AdbMessage.h"
#include "FuzzCheck.h"

using qm::fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const qm::ByteView input(data, size);
    const qm::ByteView headerBytes = input.first(std::min(size, qm::AdbHeader::byteCount));
    const qm::ByteView payload = input.subspan(headerBytes.size());
    qm::AdbHeader header;
    try {
        header = qm::AdbMessage::decodeHeader(headerBytes);
    } catch (const qm::AdbError& error) {
        check(error.kind() == qm::AdbErrorKind::protocolViolation);
        return 0;
    }
    check(headerBytes.size() == qm::AdbHeader::byteCount);
    check((header.command ^ header.magic) == 0xFFFFFFFFu);
    try {
        const qm::AdbMessage message(header, qm::Bytes(payload.begin(), payload.end()));
        check(payload.size() == header.dataLength);
        auto encoded = message.encodedHeader();
        const std::uint32_t checksum = qm::AdbMessage::legacyChecksum(payload);
        check(qm::LittleEndian::u32(encoded, 16) == checksum);
        // Everything but the checksum, which is never verified, comes back as it was.
        std::memcpy(encoded.data() + 16, headerBytes.data() + 16, 4);
        check(std::equal(encoded.begin(), encoded.end(), headerBytes.begin()));
    } catch (const qm::AdbError& error) {
        check(error.kind() == qm::AdbErrorKind::protocolViolation);
        check(payload.size() != header.dataLength);
    }
    return 0;
}
