#include "QuillmereCore/BinaryWriter.h"

#include <fmt/format.h>

#include "QuillmereCore/BinaryError.h"

namespace qm {

void BinaryWriter::lengthPrefixed(ByteView value, int lengthBytes) {
    if (lengthBytes != 1 && lengthBytes != 2 && lengthBytes != 4) {
        throw BinaryError::invalid(
            fmt::format("lengthBytes must be 1, 2 or 4, got {}", lengthBytes));
    }
    const std::uint64_t limit = (std::uint64_t{1} << (8 * lengthBytes)) - 1;
    if (value.size() > limit) {
        throw BinaryError::invalid(
            fmt::format("{} bytes do not fit a {}-byte length prefix", value.size(), lengthBytes));
    }
    put(value.size(), lengthBytes);
    bytes(value);
}

}  // namespace qm
