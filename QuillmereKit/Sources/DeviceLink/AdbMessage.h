#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "QuillmereCore/Bytes.h"
#include "QuillmereCore/RawValue.h"
#include "QuillmereCore/TypedError.h"

namespace qm {

namespace AdbProtocolConstants {
inline constexpr std::uint32_t version = 0x01000001;
// The largest payload the host accepts, and the ceiling of the negotiated one.
inline constexpr std::uint32_t maxPayload = 0x40000;
}  // namespace AdbProtocolConstants

enum class AdbErrorKind {
    protocolViolation,
    streamOpenFailed,
    syncFailed,
    authRejected,
    timedOut,
    closed
};

// The one error type of the ADB layer; the text cases carry the message shown to people.
class AdbError : public TypedError<AdbErrorKind> {
public:
    static AdbError protocolViolation(const std::string& text) {
        return AdbError(Kind::protocolViolation, text, caseWithText("protocolViolation", text));
    }
    static AdbError streamOpenFailed(const std::string& text) {
        return AdbError(Kind::streamOpenFailed, text, caseWithText("streamOpenFailed", text));
    }
    static AdbError syncFailed(const std::string& text) {
        return AdbError(Kind::syncFailed, text, caseWithText("syncFailed", text));
    }
    static AdbError authRejected() {
        return AdbError(Kind::authRejected, "the device rejected this computer's key",
                        "authRejected");
    }
    static AdbError timedOut(const std::string& text) {
        return AdbError(Kind::timedOut, text, caseWithText("timedOut", text));
    }
    static AdbError closed() {
        return AdbError(Kind::closed, "the ADB connection is closed", "closed");
    }

private:
    using TypedError::TypedError;
};

// Every ADB binary field is a little-endian 32-bit word.
namespace LittleEndian {
// The caller guarantees four bytes at `offset`, counted from the view's first byte.
std::uint32_t u32(ByteView bytes, std::size_t offset) noexcept;
void append(std::uint32_t value, Bytes& to);
}  // namespace LittleEndian

// The 24-byte header as read from the wire; `command` is not yet known to be a command.
struct AdbHeader {
    static constexpr std::size_t byteCount = 24;

    std::uint32_t command = 0;
    std::uint32_t arg0 = 0;
    std::uint32_t arg1 = 0;
    std::uint32_t dataLength = 0;
    std::uint32_t dataChecksum = 0;
    std::uint32_t magic = 0;

    bool operator==(const AdbHeader&) const = default;
};

struct AdbMessage {
    // Raw values are the four wire letters read as a little-endian word.
    enum class Command : std::uint32_t {
        cnxn = 0x4E584E43,
        auth = 0x48545541,
        open = 0x4E45504F,
        okay = 0x59414B4F,
        clse = 0x45534C43,
        wrte = 0x45545257,
        stls = 0x534C5453,
    };

    // Values of arg0 in AUTH messages.
    static constexpr std::uint32_t authToken = 1;
    static constexpr std::uint32_t authSignature = 2;
    static constexpr std::uint32_t authPublicKey = 3;

    Command command = Command::cnxn;
    std::uint32_t arg0 = 0;
    std::uint32_t arg1 = 0;
    Bytes payload;

    AdbMessage() = default;
    AdbMessage(Command command_, std::uint32_t arg0_, std::uint32_t arg1_, Bytes payload_ = {})
        : command(command_), arg0(arg0_), arg1(arg1_), payload(std::move(payload_)) {}
    // Joins a decoded header and the payload read after it; throws AdbError.
    AdbMessage(const AdbHeader& header, Bytes payload_);

    bool operator==(const AdbMessage&) const = default;

    static std::uint32_t legacyChecksum(ByteView payload) noexcept;
    // The header only; the payload follows it on the wire.
    std::array<std::uint8_t, AdbHeader::byteCount> encodedHeader() const noexcept;
    // Checks length, magic and command; throws AdbError protocolViolation.
    static AdbHeader decodeHeader(ByteView bytes);
};

template <>
std::optional<AdbMessage::Command> fromRawValue<AdbMessage::Command>(std::uint32_t raw) noexcept;

// "cnxn", "auth", ...: how a command is named in message texts.
std::string_view commandName(AdbMessage::Command command) noexcept;

}  // namespace qm
