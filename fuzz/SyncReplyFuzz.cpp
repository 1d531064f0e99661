// Input: what the phone's sync service answers a push with. Only OKAY and FAIL headers parse;
// a FAIL announces its length as read, and every other reply is a protocol violation.
#include <cstdlib>

#include "DeviceLink/AdbMessage.h"
#include "DeviceLink/SyncProtocol.h"

namespace {

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const qm::ByteView input(data, size);
    try {
        const qm::SyncProtocol::Status status = qm::SyncProtocol::parseStatus(input);
        check(size == qm::SyncProtocol::headerByteCount);
        if (status.kind == qm::SyncProtocol::Status::Kind::fail) {
            check(qm::asText(input.first(4)) == "FAIL");
            check(status.failureLength == qm::LittleEndian::u32(input, 4));
        } else {
            check(qm::asText(input.first(4)) == "OKAY");
        }
    } catch (const qm::AdbError& error) {
        check(error.kind() == qm::AdbErrorKind::protocolViolation);
    }
    return 0;
}
