#include "Support/FakeServerMedia.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "QuillmereCore/BinaryWriter.h"
#include "Support/MediaFixtures.h"
#include "Support/MediaPackets.h"

namespace qm::test {

namespace {

const Bytes& pngIcon() {
    static const Bytes icon = {
        0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48,
        0x44, 0x52, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x06, 0x00, 0x00,
        0x00, 0x1F, 0x15, 0xC4, 0x89, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x44, 0x41, 0x54, 0x78,
        0x9C, 0x63, 0x50, 0x68, 0xF8, 0xFF, 0x1F, 0x00, 0x05, 0x02, 0x02, 0x9F, 0x76, 0xA8,
        0x46, 0xC9, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};
    return icon;
}

}  // namespace

std::vector<AppInfo> fakeApps() {
    return {AppInfo{"com.tressik.racer", "Racer", true, 1700000000000, pngIcon()},
            AppInfo{"com.example.notes", "Notes ✎", false, 1690000000000, pngIcon()}};
}

FakeVideoClip::FakeVideoClip(ByteView elementaryStream, VideoCodec codec, VideoSize clipSize,
                             int clipFps)
    : size(clipSize), fps(clipFps), packets(accessUnitPackets(elementaryStream, codec, clipFps)) {}

std::shared_ptr<const FakeVideoClip> FakeVideoClip::head(std::size_t count) const {
    auto cut = std::make_shared<FakeVideoClip>(*this);
    cut->packets.resize(std::min(count, packets.size()));
    return cut;
}

std::shared_ptr<const FakeVideoClip> fakeVideoClip(VideoCodec codec) {
    static const auto h264 = std::make_shared<const FakeVideoClip>(
        loadFixture("h264-720p.h264"), VideoCodec::h264, VideoSize{1280, 720}, 30);
    static const auto h265 = std::make_shared<const FakeVideoClip>(
        loadFixture("hevc-720p.h265"), VideoCodec::h265, VideoSize{1280, 720}, 30);
    return codec == VideoCodec::h264 ? h264 : h265;
}

std::shared_ptr<const FakeVideoClip> fakeFlashColours() {
    static const auto colours = std::make_shared<const FakeVideoClip>(
        loadFixture("flash-colours.h264"), VideoCodec::h264, VideoSize{320, 180}, 60);
    return colours;
}

std::vector<StreamPacket> fakeAudioPackets(std::size_t count) {
    constexpr int framesPerPacket = 960;  // 20 ms at 48 kHz
    std::vector<StreamPacket> packets(count);
    for (std::size_t p = 0; p < count; ++p) {
        StreamPacket& packet = packets[p];
        packet.ptsMicros = static_cast<std::int64_t>(p) * 20000;
        packet.data.reserve(framesPerPacket * 4);
        for (int i = 0; i < framesPerPacket; ++i) {
            const double t =
                static_cast<double>(p * framesPerPacket + static_cast<std::size_t>(i)) / 48000.0;
            const auto sample =
                static_cast<std::int16_t>(8000 * std::sin(2 * std::numbers::pi * 440 * t));
            for (int channel = 0; channel < 2; ++channel) {
                // Little-endian, as the phone's PCM comes.
                packet.data.push_back(static_cast<std::uint8_t>(sample & 0xFF));
                packet.data.push_back(static_cast<std::uint8_t>((sample >> 8) & 0xFF));
            }
        }
    }
    return packets;
}

Bytes fakeAudioStream(std::size_t packets) {
    BinaryWriter out;
    writeCodecID(out, rawValue(AudioCodec::raw));
    for (const StreamPacket& packet : fakeAudioPackets(packets)) {
        writePacket(out, packet);
    }
    return out.take();
}

}  // namespace qm::test
