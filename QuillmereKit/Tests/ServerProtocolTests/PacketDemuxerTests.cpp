#include <gtest/gtest.h>

#include "QuillmereCore/BinaryError.h"
#include "QuillmereCore/DataByteSource.h"
#include "QuillmereCore/MemoryByteChannel.h"
#include "ServerProtocol/PacketDemuxer.h"
#include "Support/Hex.h"
#include "Support/MediaPackets.h"

namespace qm {
namespace {

using test::hex;

StreamEvent eventFrom(const Bytes& bytes) {
    DataByteSource source(bytes);
    return PacketDemuxer::nextEvent(source);
}

// The header must be refused with `message` before anything after it is read.
void expectRejected(const Bytes& header, const std::string& message) {
    Bytes bytes = header;
    bytes.resize(bytes.size() + 32, 0xEE);
    DataByteSource source(bytes);
    try {
        PacketDemuxer::nextEvent(source);
        ADD_FAILURE() << "accepted: " << message;
    } catch (const BinaryError& error) {
        EXPECT_EQ(error.kind(), BinaryErrorKind::invalid);
        EXPECT_EQ(error.what(), message);
    }
    EXPECT_EQ(source.remaining(), 32u) << message;
}

TEST(PacketDemuxer, ReadsTheCodecIDAsSent) {
    DataByteSource source(hex("68323634 00726177 00000000"));
    EXPECT_EQ(PacketDemuxer::readCodecID(source), rawValue(VideoCodec::h264));
    EXPECT_EQ(PacketDemuxer::readCodecID(source), rawValue(AudioCodec::raw));
    EXPECT_EQ(PacketDemuxer::readCodecID(source), 0u);
    EXPECT_THROW(PacketDemuxer::readCodecID(source), ByteIOError);
}

TEST(PacketDemuxer, ReadsSessionPackets) {
    EXPECT_EQ(eventFrom(hex("80000001 00000780 00000438")),
              StreamEvent(StreamSession{{1920, 1080}, true}));
    EXPECT_EQ(eventFrom(hex("80000000 00000438 00000780")),
              StreamEvent(StreamSession{{1080, 1920}, false}));
    // Bits other than the marker and bit 0 are ignored.
    EXPECT_EQ(eventFrom(hex("FFFFFFFE 0000FFFF 0000FFFF")),
              StreamEvent(StreamSession{{65535, 65535}, false}));
}

TEST(PacketDemuxer, RejectsSessionSizesOutsideTheLimits) {
    expectRejected(hex("80000000 00010000 00000438"), "session size 65536x1080");
    expectRejected(hex("80000000 00000780 00000000"), "session size 1920x0");
    expectRejected(hex("80000000 FFFFFFFF 00000001"), "session size 4294967295x1");
}

TEST(PacketDemuxer, TellsPacketKindsAndTimesFromTheHeader) {
    const auto config = std::get<StreamPacket>(eventFrom(hex("4000000000001234 00000002 0001")));
    EXPECT_EQ(config, (StreamPacket{StreamPacket::Kind::config, std::nullopt, {0x00, 0x01}}));
    // The key-frame bit means nothing on a config packet.
    EXPECT_EQ(std::get<StreamPacket>(eventFrom(hex("6000000000000001 00000001 AA"))).kind,
              StreamPacket::Kind::config);

    EXPECT_EQ(std::get<StreamPacket>(eventFrom(hex("0000000000008235 00000001 AA"))),
              (StreamPacket{StreamPacket::Kind::frame, 33333, {0xAA}}));
    EXPECT_EQ(std::get<StreamPacket>(eventFrom(hex("2000000000008235 00000001 BB"))),
              (StreamPacket{StreamPacket::Kind::keyFrame, 33333, {0xBB}}));
    // Bits 60 to 0 are all time.
    EXPECT_EQ(std::get<StreamPacket>(eventFrom(hex("3FFFFFFFFFFFFFFF 00000001 CC"))).ptsMicros,
              std::int64_t{0x1FFFFFFFFFFFFFFF});
}

TEST(PacketDemuxer, PacketSizeLimitIsInclusiveAndCheckedBeforeThePayload) {
    Bytes largest = hex("0000000000000000 01000000");
    largest.resize(largest.size() + PacketDemuxer::maxPacketSize, 0x5A);
    const auto packet = std::get<StreamPacket>(eventFrom(largest));
    EXPECT_EQ(packet.data.size(), 16777216u);

    expectRejected(hex("0000000000000000 01000001"), "packet size 16777217 exceeds 16777216");
    expectRejected(hex("0000000000000000 FFFFFFFF"), "packet size 4294967295 exceeds 16777216");
    expectRejected(hex("2000000000000010 00000000"), "packet size 0");
}

TEST(PacketDemuxer, AShortStreamEndsWithTheSourcesError) {
    for (const char* cut : {"", "00000000 000000", "0000000000000000 00000004 AABB"}) {
        DataByteSource source(hex(cut));
        try {
            PacketDemuxer::nextEvent(source);
            ADD_FAILURE() << "no error for '" << cut << "'";
        } catch (const ByteIOError& error) {
            EXPECT_EQ(error.kind(), ByteIOErrorKind::endOfStream) << cut;
        }
    }
    MemoryByteChannel closed;
    closed.close();
    try {
        PacketDemuxer::nextEvent(closed);
        ADD_FAILURE() << "no error on a closed channel";
    } catch (const ByteIOError& error) {
        EXPECT_EQ(error.kind(), ByteIOErrorKind::closed);
    }
}

TEST(PacketDemuxer, ReadsAStreamWrittenAsTheServerWritesIt) {
    const std::vector<StreamEvent> events{
        StreamSession{{1080, 2400}, false},
        StreamPacket{StreamPacket::Kind::config, std::nullopt, {0, 0, 0, 1, 0x67}},
        StreamPacket{StreamPacket::Kind::keyFrame, 0, Bytes(5000, 0x65)},
        StreamPacket{StreamPacket::Kind::frame, 16666, Bytes(700, 0x41)},
        StreamSession{{2400, 1080}, true},
    };
    BinaryWriter writer;
    test::writeCodecID(writer, rawValue(VideoCodec::h265));
    for (const auto& event : events) {
        std::visit(
            [&](const auto& e) {
                if constexpr (std::is_same_v<std::decay_t<decltype(e)>, StreamSession>) {
                    test::writeSession(writer, e);
                } else {
                    test::writePacket(writer, e);
                }
            },
            event);
    }
    MemoryByteChannel channel;
    channel.feed(writer.data());
    channel.finish();
    EXPECT_EQ(PacketDemuxer::readCodecID(channel), rawValue(VideoCodec::h265));
    for (const auto& expected : events) {
        EXPECT_EQ(PacketDemuxer::nextEvent(channel), expected);
    }
    EXPECT_THROW(PacketDemuxer::nextEvent(channel), ByteIOError);
}

}  // namespace
}  // namespace qm
