#include "ServerProtocol/PacketDemuxer.h"

#include <array>

#include <fmt/format.h>

#include "QuillmereCore/BinaryError.h"

namespace qm::PacketDemuxer {

namespace {

constexpr std::uint64_t configFlag = std::uint64_t{1} << 62;
constexpr std::uint64_t keyFrameFlag = std::uint64_t{1} << 61;
constexpr std::uint64_t ptsMask = keyFrameFlag - 1;  // bits 60 to 0
constexpr std::uint32_t clientResizedFlag = 1;

// Headers are parsed from the stack: a reader would copy them onto the heap once per packet.
template <std::size_t Width>
std::uint64_t bigEndian(const std::uint8_t* bytes) noexcept {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < Width; ++i) {
        value = (value << 8) | bytes[i];
    }
    return value;
}

bool validDimension(std::uint32_t value) noexcept {
    return value >= 1 && value <= maxSessionDimension;
}

}  // namespace

std::uint32_t readCodecID(ByteSource& source, std::stop_token stop) {
    std::array<std::uint8_t, 4> id{};
    source.readExactly(id, std::move(stop));
    return static_cast<std::uint32_t>(bigEndian<4>(id.data()));
}

StreamEvent nextEvent(ByteSource& source, std::stop_token stop) {
    std::array<std::uint8_t, headerSize> header{};
    source.readExactly(header, stop);

    if ((header[0] & 0x80) != 0) {
        const auto flags = static_cast<std::uint32_t>(bigEndian<4>(&header[0]));
        const auto width = static_cast<std::uint32_t>(bigEndian<4>(&header[4]));
        const auto height = static_cast<std::uint32_t>(bigEndian<4>(&header[8]));
        if (!validDimension(width) || !validDimension(height)) {
            throw BinaryError::invalid(fmt::format("session size {}x{}", width, height));
        }
        return StreamSession{VideoSize{static_cast<int>(width), static_cast<int>(height)},
                             (flags & clientResizedFlag) != 0};
    }

    const std::uint64_t ptsWord = bigEndian<8>(&header[0]);
    const auto size = static_cast<std::uint32_t>(bigEndian<4>(&header[8]));
    if (size == 0) {
        throw BinaryError::invalid("packet size 0");
    }
    if (size > maxPacketSize) {
        throw BinaryError::invalid(fmt::format("packet size {} exceeds {}", size, maxPacketSize));
    }

    StreamPacket packet;
    packet.data = source.readExactly(size, std::move(stop));
    if ((ptsWord & configFlag) != 0) {
        packet.kind = StreamPacket::Kind::config;
    } else {
        packet.kind = (ptsWord & keyFrameFlag) != 0 ? StreamPacket::Kind::keyFrame
                                                    : StreamPacket::Kind::frame;
        packet.ptsMicros = static_cast<std::int64_t>(ptsWord & ptsMask);
    }
    return packet;
}

}  // namespace qm::PacketDemuxer
