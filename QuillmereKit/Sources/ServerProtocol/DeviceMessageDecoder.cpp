#include "ServerProtocol/DeviceMessageDecoder.h"

#include <fmt/format.h>

#include "QuillmereCore/BinaryError.h"
#include "QuillmereCore/BinaryReader.h"
#include "QuillmereCore/UnicodeText.h"

namespace qm::DeviceMessageDecoder {

namespace {

BinaryReader read(ByteSource& source, std::size_t count, const std::stop_token& stop) {
    return BinaryReader(source.readExactly(count, stop));
}

}  // namespace

DeviceMessage next(ByteSource& source, std::stop_token stop) {
    const std::uint8_t type = read(source, 1, stop).u8();
    switch (type) {
        case 0: {
            const std::uint32_t length = read(source, 4, stop).u32();
            if (length > maxClipboardBytes) {
                throw BinaryError::invalid(fmt::format("clipboard length {}", length));
            }
            if (length == 0) {
                return Clipboard{};
            }
            return Clipboard{UnicodeText::decodeUTF8(source.readExactly(length, stop))};
        }
        case 1:
            return AckClipboard{read(source, 8, stop).u64()};
        case 2: {
            BinaryReader header = read(source, 4, stop);
            const std::uint16_t id = header.u16();
            const std::uint16_t length = header.u16();
            if (length == 0) {
                return UhidOutput{id, {}};
            }
            return UhidOutput{id, source.readExactly(length, stop)};
        }
        default:
            throw BinaryError::invalid(fmt::format("unknown device message type {}", type));
    }
}

}  // namespace qm::DeviceMessageDecoder
