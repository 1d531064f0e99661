#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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

// A file transfer: SEND "path,mode", the data in DATA pieces of at most `maxPiece` bytes, and
// DONE with `mtime`. Held as the parts it is sent in, the file's own bytes viewed in place, so
// that pushing a file costs no copy of it. Views `data`, which must outlive it.
class FileTransfer {
public:
    // AdbError protocolViolation when the path does not fit a request.
    FileTransfer(ByteView data, std::string_view path, std::uint32_t mode, std::uint32_t mtime);
    FileTransfer(const FileTransfer&) = delete;
    FileTransfer& operator=(const FileTransfer&) = delete;

    const std::vector<ByteView>& parts() const noexcept { return parts_; }
    std::size_t byteCount() const noexcept { return byteCount_; }

private:
    std::string spec_;
    std::vector<Header> headers_;  // never reallocated: `parts_` views them
    std::vector<ByteView> parts_;
    std::size_t byteCount_ = 0;
};

// The same transfer as one buffer.
Bytes sendFile(ByteView data, std::string_view path, std::uint32_t mode, std::uint32_t mtime);

// Reads an 8-byte reply; AdbError protocolViolation for any id but OKAY and FAIL.
Status parseStatus(ByteView header);

}  // namespace SyncProtocol

}  // namespace qm
