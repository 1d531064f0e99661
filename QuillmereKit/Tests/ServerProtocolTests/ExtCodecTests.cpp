#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "QuillmereCore/BinaryError.h"
#include "QuillmereCore/DataByteSource.h"
#include "ServerProtocol/ExtCodec.h"
#include "Support/Hex.h"

namespace qm {
namespace {

using test::hex;

ExtMessage decoded(const Bytes& frame) {
    DataByteSource source(frame);
    ExtMessage message = ExtCodec::next(source);
    EXPECT_EQ(source.remaining(), 0u);
    return message;
}

// The frame must be refused with `kind` (and `message`, when given); returns what it left.
std::size_t refusedLeaving(const Bytes& frame, BinaryErrorKind kind, const char* message = "") {
    Bytes bytes = frame;
    bytes.resize(bytes.size() + 3, 0xEE);
    DataByteSource source(bytes);
    try {
        ExtCodec::next(source);
        ADD_FAILURE() << "accepted";
    } catch (const BinaryError& error) {
        EXPECT_EQ(error.kind(), kind);
        if (*message != 0) {
            EXPECT_STREQ(error.what(), message);
        }
    }
    return source.remaining() - 3;
}

Bytes telemetryFrame(const Bytes& payload) {
    Bytes frame = hex("84 00000000");
    frame[4] = static_cast<std::uint8_t>(payload.size());
    frame.insert(frame.end(), payload.begin(), payload.end());
    return frame;
}

PhoneTelemetry telemetryOf(const Bytes& payload) {
    return std::get<ext::Telemetry>(decoded(telemetryFrame(payload))).telemetry;
}

TEST(ExtCodec, EncodesRequestsAsTheServerExpects) {
    EXPECT_EQ(ExtCodec::encode(ext::Hello{2}), hex("01 00000002 0002"));
    EXPECT_EQ(ExtCodec::encode(ext::SubscribeTelemetry{1000}), hex("04 00000002 03E8"));
    EXPECT_EQ(ExtCodec::encode(ext::ListApps{true}), hex("03 00000001 01"));
    EXPECT_EQ(ExtCodec::encode(ext::ListApps{false}), hex("03 00000001 00"));
    EXPECT_EQ(ExtCodec::encode(ext::Ping{1}), hex("02 00000008 0000000000000001"));
    EXPECT_EQ(ExtCodec::encode(ext::AppList{}), hex("83 00000004 00000000"));
}

TEST(ExtCodec, EveryMessageSurvivesARoundTrip) {
    PhoneTelemetry full{3, 40.5, 87, -2.25, true, PhoneEncoderStats{60, 1500, 2500, 9000, 4000000}};
    PhoneTelemetry bare{0, std::nullopt, 100, std::nullopt, false, std::nullopt};
    const std::vector<ExtMessage> messages = {
        ext::Hello{2},
        ext::Ping{0xFFFFFFFFFFFFFFFFull},
        ext::ListApps{true},
        ext::SubscribeTelemetry{65535},
        ext::HelloAck{2, -5, 1700000000000},
        ext::Pong{42, std::numeric_limits<std::int64_t>::min()},
        ext::AppList{{AppInfo{"com.a.game", "Gamé ✓", true, 123, hex("89504E47")},
                      AppInfo{"com.b", "", false, -1, {}}}},
        ext::Telemetry{full},
        ext::Telemetry{bare},
        ext::Error{"no such package"},
    };
    Bytes stream;
    for (const ExtMessage& message : messages) {
        const Bytes frame = ExtCodec::encode(message);
        stream.insert(stream.end(), frame.begin(), frame.end());
    }
    DataByteSource source(stream);
    for (const ExtMessage& message : messages) {
        EXPECT_EQ(ExtCodec::next(source), message) << describe(message);
    }
    EXPECT_EQ(source.remaining(), 0u);
}

TEST(ExtCodec, LengthLimitIsCheckedBeforeThePayload) {
    Bytes atLimit = hex("01 02000000");
    DataByteSource shortSource(atLimit);
    // Accepted: the source then runs out while reading the payload.
    EXPECT_THROW(ExtCodec::next(shortSource), ByteIOError);
    EXPECT_EQ(refusedLeaving(hex("01 02000001"), BinaryErrorKind::invalid,
                             "ext frame too large: 33554433 bytes"),
              0u);
}

TEST(ExtCodec, BadPayloadsFailAfterTheWholeFrame) {
    EXPECT_EQ(refusedLeaving(hex("05 00000000"), BinaryErrorKind::invalid,
                             "unknown ext message type 0x05"),
              0u);
    EXPECT_EQ(refusedLeaving(hex("81 00000013 0002 0000000000000001 0000000000000002 00"),
                             BinaryErrorKind::invalid, "ext message 0x81 has 1 trailing bytes"),
              0u);
    EXPECT_EQ(refusedLeaving(hex("01 00000003 000200"), BinaryErrorKind::invalid,
                             "ext message 0x1 has 1 trailing bytes"),
              0u);
    EXPECT_EQ(refusedLeaving(hex("01 00000001 00"), BinaryErrorKind::truncated), 0u);
    EXPECT_EQ(refusedLeaving(hex("83 0000001E 00000001 0009 3C696D67207372633D 0000 01 "
                                 "0000000000000000 00000000"),
                             BinaryErrorKind::invalid,
                             "an app's package name is not a valid Android package name"),
              0u);
    // An app count far beyond the payload fails on the payload, not on memory.
    EXPECT_EQ(refusedLeaving(hex("83 00000004 FFFFFFFF"), BinaryErrorKind::truncated), 0u);
    // A source that ends inside the header is the source's error.
    DataByteSource cut(hex("01 0000"));
    EXPECT_THROW(ExtCodec::next(cut), ByteIOError);
}

TEST(ExtCodec, ReadsTelemetryFlagsAndTheOptionalEncoderBlock) {
    EXPECT_EQ(telemetryOf(hex("01 50 00 0000 0000")).encoder, std::nullopt);
    EXPECT_EQ(
        refusedLeaving(telemetryFrame(hex("01 50 00 0000 0000 00")), BinaryErrorKind::truncated),
        0u);
    const PhoneTelemetry withEncoder =
        telemetryOf(hex("01 50 00 0000 0000 003C 000005DC 000009C4 00002328 FFFFFFFF"));
    EXPECT_EQ(withEncoder.encoder, (PhoneEncoderStats{60, 1500, 2500, 9000, 4294967295LL}));

    const PhoneTelemetry cpu = telemetryOf(hex("FF 50 02 0FA0 0FA0"));
    EXPECT_EQ(cpu.thermalStatus, -1);
    EXPECT_EQ(cpu.cpuTempCelsius, 40.0);
    EXPECT_EQ(cpu.batteryTempCelsius, std::nullopt);
    EXPECT_FALSE(cpu.charging);
    const PhoneTelemetry noFlags = telemetryOf(hex("00 50 F8 0FA0 0FA0"));
    EXPECT_EQ(noFlags.cpuTempCelsius, std::nullopt);
    EXPECT_TRUE(telemetryOf(hex("00 50 05 0000 FF38")).charging);
    EXPECT_EQ(telemetryOf(hex("00 50 05 0000 FF38")).batteryTempCelsius, -2.0);
}

TEST(ExtCodec, ReadsFlagBytesAsTheServerWritesThem) {
    EXPECT_EQ(decoded(hex("03 00000001 02")), ExtMessage(ext::ListApps{true}));
    const Bytes record = hex("0001 61 0000 02 0000000000000000 00000000");
    Bytes frame = hex("83 00000016 00000001");
    frame.insert(frame.end(), record.begin(), record.end());
    EXPECT_FALSE(std::get<ext::AppList>(decoded(frame)).apps.at(0).isGame);
    frame[frame.size() - 13] = 0x03;
    EXPECT_TRUE(std::get<ext::AppList>(decoded(frame)).apps.at(0).isGame);
}

TEST(ExtCodec, ClampsTelemetryIntoItsFields) {
    PhoneTelemetry t;
    t.thermalStatus = 300;
    t.batteryPercent = -200;
    t.cpuTempCelsius = 40.125;
    t.batteryTempCelsius = -0.125;
    EXPECT_EQ(ExtCodec::encode(ext::Telemetry{t}), hex("84 00000007 7F 80 06 0FAD FFF3"));
    t.cpuTempCelsius = 400.0;
    t.batteryTempCelsius = std::numeric_limits<double>::infinity();
    EXPECT_EQ(ExtCodec::encode(ext::Telemetry{t}), hex("84 00000007 7F 80 06 7FFF 0000"));
    t.cpuTempCelsius = std::nan("");
    t.batteryTempCelsius.reset();
    t.encoder = PhoneEncoderStats{70000, -5, 1, 5'000'000'000LL, 0};
    EXPECT_EQ(ExtCodec::encode(ext::Telemetry{t}),
              hex("84 00000019 7F 80 02 0000 0000 FFFF 00000000 00000001 FFFFFFFF 00000000"));
}

TEST(ExtCodec, TextsAreCutAtACharacterBoundaryAndReadLeniently) {
    const Bytes ascii = ExtCodec::encode(ext::Error{std::string(70000, 'a')});
    EXPECT_EQ(ascii.size(), 5u + 2 + 65535);
    EXPECT_EQ(ascii[5], 0xFF);
    EXPECT_EQ(ascii[6], 0xFF);

    // 'a' then 3-byte characters: byte 65535 falls inside one, which is dropped whole.
    std::string text = "a";
    while (text.size() < 70000) {
        text += "\xE2\x9C\x93";
    }
    const ExtMessage back = decoded(ExtCodec::encode(ext::Error{text}));
    const std::string& cut = std::get<ext::Error>(back).text;
    EXPECT_EQ(cut.size(), 65533u);
    EXPECT_EQ(cut, text.substr(0, 65533));

    EXPECT_EQ(decoded(hex("FF 00000004 0002 C328")), ExtMessage(ext::Error{"\xEF\xBF\xBD("}));
}

TEST(ExtCodec, EncoderStatsDeriveMillisAndBytesPerFrame) {
    EXPECT_FALSE(PhoneEncoderStats{}.hasFrames());
    EXPECT_EQ(PhoneEncoderStats{}.bytesPerFrame(), 0.0);
    const PhoneEncoderStats stats{4, 1500, 2000, 3250, 1000};
    EXPECT_TRUE(stats.hasFrames());
    EXPECT_EQ(stats.bytesPerFrame(), 250.0);
    EXPECT_EQ(stats.p50Millis(), 1.5);
    EXPECT_EQ(stats.maxMillis(), 3.25);
}

}  // namespace
}  // namespace qm
