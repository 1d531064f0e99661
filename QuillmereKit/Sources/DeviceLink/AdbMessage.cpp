#include "DeviceLink/AdbMessage.h"

#include <numeric>

#include <fmt/format.h>

namespace qm {

namespace LittleEndian {

std::uint32_t u32(ByteView bytes, std::size_t offset) noexcept {
    return std::uint32_t(bytes[offset]) | std::uint32_t(bytes[offset + 1]) << 8 |
           std::uint32_t(bytes[offset + 2]) << 16 | std::uint32_t(bytes[offset + 3]) << 24;
}

void append(std::uint32_t value, Bytes& to) {
    for (int shift = 0; shift < 32; shift += 8) {
        to.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

}  // namespace LittleEndian

template <>
std::optional<AdbMessage::Command> fromRawValue<AdbMessage::Command>(std::uint32_t raw) noexcept {
    using Command = AdbMessage::Command;
    switch (static_cast<Command>(raw)) {
        case Command::cnxn:
        case Command::auth:
        case Command::open:
        case Command::okay:
        case Command::clse:
        case Command::wrte:
        case Command::stls:
            return static_cast<Command>(raw);
    }
    return std::nullopt;
}

std::string_view commandName(AdbMessage::Command command) noexcept {
    using Command = AdbMessage::Command;
    switch (command) {
        case Command::cnxn:
            return "cnxn";
        case Command::auth:
            return "auth";
        case Command::open:
            return "open";
        case Command::okay:
            return "okay";
        case Command::clse:
            return "clse";
        case Command::wrte:
            return "wrte";
        case Command::stls:
            return "stls";
    }
    return "unknown";
}

namespace {

AdbMessage::Command knownCommand(std::uint32_t word) {
    const auto command = fromRawValue<AdbMessage::Command>(word);
    if (!command) {
        throw AdbError::protocolViolation(fmt::format("unknown command 0x{:08x}", word));
    }
    return *command;
}

}  // namespace

AdbMessage::AdbMessage(const AdbHeader& header, Bytes payload_)
    : command(knownCommand(header.command)), arg0(header.arg0), arg1(header.arg1) {
    if (payload_.size() != header.dataLength) {
        throw AdbError::protocolViolation(
            fmt::format("payload is {} bytes, header says {}", payload_.size(), header.dataLength));
    }
    payload = std::move(payload_);
}

std::uint32_t AdbMessage::legacyChecksum(ByteView payload) noexcept {
    return std::accumulate(payload.begin(), payload.end(), std::uint32_t{0});
}

std::array<std::uint8_t, AdbHeader::byteCount> AdbMessage::encodedHeader() const noexcept {
    const std::uint32_t word = rawValue(command);
    const std::uint32_t fields[] = {word,
                                    arg0,
                                    arg1,
                                    static_cast<std::uint32_t>(payload.size()),
                                    legacyChecksum(payload),
                                    word ^ 0xFFFFFFFFu};
    std::array<std::uint8_t, AdbHeader::byteCount> out{};
    std::size_t at = 0;
    for (std::uint32_t field : fields) {
        for (int shift = 0; shift < 32; shift += 8) {
            out[at++] = static_cast<std::uint8_t>(field >> shift);
        }
    }
    return out;
}

AdbHeader AdbMessage::decodeHeader(ByteView bytes) {
    if (bytes.size() != AdbHeader::byteCount) {
        throw AdbError::protocolViolation(
            fmt::format("header must be 24 bytes, got {}", bytes.size()));
    }
    const AdbHeader header{LittleEndian::u32(bytes, 0),  LittleEndian::u32(bytes, 4),
                           LittleEndian::u32(bytes, 8),  LittleEndian::u32(bytes, 12),
                           LittleEndian::u32(bytes, 16), LittleEndian::u32(bytes, 20)};
    if ((header.magic ^ header.command) != 0xFFFFFFFFu) {
        throw AdbError::protocolViolation(
            fmt::format("bad magic 0x{:08x} for command 0x{:08x}", header.magic, header.command));
    }
    knownCommand(header.command);
    return header;
}

}  // namespace qm
