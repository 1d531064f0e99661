#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "QuillmereCore/Bytes.h"

namespace qm {

// The wire format of the "sync:" service: 8-byte requests and replies, four ASCII letters and
// a little-endian 32-bit argument.
namespace SyncProtocol {

inline constexpr std::size_t headerByteCount = 8;
// The largest DATA piece of a file.
inline constexpr std::size_t maxPiece = 65536;
// A FAIL text longer than this is taken as a broken reply rather than read.
inline constexpr std::uint32_t maxFailureLength = 65536;

using Header = std::array<std::uint8_t, headerByteCount>;

// `id` is exactly four ASCII letters.
Header request(std::string_view id, std::uint32_t argument) noexcept;

inline const Header quit = request("QUIT", 0);

// The answer to a file transfer.
struct Status {
    enum class Kind { okay, fail };
    Kind kind = Kind::okay;
    std::uint32_t failureLength = 0;  // the FAIL text that follows, in bytes

    bool operator==(const Status&) const = default;
};

// SEND "path,mode", the data in DATA pieces of at most `maxPiece` bytes, and DONE with `mtime`,
// as one buffer. AdbError protocolViolation when the path does not fit a request.
Bytes sendFile(ByteView data, std::string_view path, std::uint32_t mode, std::uint32_t mtime);

// Reads an 8-byte reply; AdbError protocolViolation for any id but OKAY and FAIL.
Status parseStatus(ByteView header);

}  // namespace SyncProtocol

}  // namespace qm
