#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "QuillmereCore/BinaryWriter.h"
#include "QuillmereCore/Bytes.h"
#include "QuillmereCore/ControlMessage.h"

// The wire form of the messages the computer sends on the server's control socket. Messages go
// back to back with no framing: a type byte, then fields whose lengths follow from the type.
namespace qm::ControlMessageEncoder {

inline constexpr std::size_t maxUhidNameBytes = 127;
inline constexpr std::size_t maxPackageNameBytes = 255;
// Report descriptors and input reports carry a 2-byte length.
inline constexpr std::size_t maxUhidPayloadBytes = 65535;

// Throws BinaryError.invalid, having written nothing, for a uhid descriptor or report longer
// than its length field can count; every other message always encodes.
Bytes encode(const ControlMessage& message);
// Appends the message to `into`, with the same failure.
void encode(const ControlMessage& message, BinaryWriter& into);

// Touch pressure, 0 to 1, onto 0 to 65535; NaN and non-positive values give 0.
std::uint16_t unsignedFixedPoint16(float value) noexcept;
// -1 to 1 onto -32768 to 32767; NaN gives 0.
std::int16_t signedFixedPoint16(float value) noexcept;
// The UTF-8 bytes of `text`, cut to at most `maxBytes` without splitting a character.
ByteView utf8Prefix(std::string_view text, std::size_t maxBytes) noexcept;

}  // namespace qm::ControlMessageEncoder
