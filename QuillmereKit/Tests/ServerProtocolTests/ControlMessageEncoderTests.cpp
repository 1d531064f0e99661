#include <cmath>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "QuillmereCore/BinaryError.h"
#include "ServerProtocol/ControlMessageEncoder.h"
#include "Support/Hex.h"

namespace qm {
namespace {

using test::hex;
namespace Encoder = ControlMessageEncoder;

TEST(ControlMessageEncoder, EncodesTouchWithEveryField) {
    const InjectTouch touch{
        MotionAction::down, PointerID::mouse, {100, 200, 1080, 2400}, 1.0f, 1, 1};
    const Bytes wire = Encoder::encode(touch);
    EXPECT_EQ(wire, hex("02 00 FFFFFFFFFFFFFFFF 00000064 000000C8 0438 0960 FFFF 00000001 "
                        "00000001"));
    EXPECT_EQ(wire.size(), 32u);
}

TEST(ControlMessageEncoder, EncodesFixedSizeMessages) {
    EXPECT_EQ(Encoder::encode(InjectKeycode{KeyAction::up, 4, 0, 0}),
              hex("00 01 00000004 00000000 00000000"));
    EXPECT_EQ(Encoder::encode(InjectKeycode{KeyAction::down, -1, 3, 0x1000}),
              hex("00 00 FFFFFFFF 00000003 00001000"));
    EXPECT_EQ(Encoder::encode(SetDisplayPower{false}), hex("0A 00"));
    EXPECT_EQ(Encoder::encode(SetDisplayPower{true}), hex("0A 01"));
    EXPECT_EQ(Encoder::encode(ResetVideo{}), hex("11"));
    EXPECT_EQ(Encoder::encode(UhidDestroy{2}), hex("0E 0002"));
    EXPECT_EQ(Encoder::encode(BackOrScreenOn{KeyAction::up}), hex("04 01"));

    const InjectScroll scroll{{-5, 7, 720, 1280}, 1.0f, -16.0f, 2};
    const Bytes wire = Encoder::encode(scroll);
    EXPECT_EQ(wire, hex("03 FFFFFFFB 00000007 02D0 0500 0800 8000 00000002"));
    EXPECT_EQ(wire.size(), 21u);
}

TEST(ControlMessageEncoder, MapsPressureOntoSixteenBits) {
    EXPECT_EQ(Encoder::unsignedFixedPoint16(0.5f), 0x8000);
    EXPECT_EQ(Encoder::unsignedFixedPoint16(0.25f), 0x4000);
    EXPECT_EQ(Encoder::unsignedFixedPoint16(1.0f), 0xFFFF);
    EXPECT_EQ(Encoder::unsignedFixedPoint16(7.0f), 0xFFFF);
    EXPECT_EQ(Encoder::unsignedFixedPoint16(-3.0f), 0);
    EXPECT_EQ(Encoder::unsignedFixedPoint16(0.0f), 0);
    EXPECT_EQ(Encoder::unsignedFixedPoint16(std::nanf("")), 0);
    EXPECT_EQ(Encoder::unsignedFixedPoint16(std::numeric_limits<float>::infinity()), 0xFFFF);
}

TEST(ControlMessageEncoder, MapsScrollAmountsOntoSignedSixteenBits) {
    auto wireScroll = [](float amount) {
        const Bytes wire = Encoder::encode(InjectScroll{{}, amount, 0, 0});
        return static_cast<std::uint16_t>((wire[13] << 8) | wire[14]);
    };
    EXPECT_EQ(wireScroll(1), 0x0800);
    EXPECT_EQ(wireScroll(-1), 0xF800);
    EXPECT_EQ(wireScroll(16), 0x7FFF);
    EXPECT_EQ(wireScroll(-16), 0x8000);
    EXPECT_EQ(wireScroll(40), 0x7FFF);
    EXPECT_EQ(wireScroll(-40), 0x8000);
    EXPECT_EQ(wireScroll(std::nanf("")), 0);
    EXPECT_EQ(Encoder::signedFixedPoint16(-0.5f), -16384);
    EXPECT_EQ(Encoder::signedFixedPoint16(-std::numeric_limits<float>::infinity()), -32768);
}

TEST(ControlMessageEncoder, CutsUtf8AtCharacterBoundaries) {
    EXPECT_EQ(asText(Encoder::utf8Prefix("\xE2\x82\xAC"
                                         "abc",
                                         2)),
              "");
    EXPECT_EQ(asText(Encoder::utf8Prefix("\xE2\x82\xAC"
                                         "abc",
                                         3)),
              "\xE2\x82\xAC");
    EXPECT_EQ(asText(Encoder::utf8Prefix("ab\xC3\xA9", 3)), "ab");
    EXPECT_EQ(asText(Encoder::utf8Prefix("abc", 3)), "abc");
    EXPECT_EQ(asText(Encoder::utf8Prefix("abc", 0)), "");
    // A 4-byte character cut anywhere inside goes whole.
    for (std::size_t limit = 1; limit < 5; ++limit) {
        EXPECT_EQ(asText(Encoder::utf8Prefix("x\xF0\x9F\x98\x80", limit)), "x") << limit;
    }
}

TEST(ControlMessageEncoder, UhidCreateCutsTheNameAndKeepsTheDescriptor) {
    const Bytes descriptor{0x05, 0x01, 0x09, 0x05};
    const Bytes longName =
        Encoder::encode(UhidCreate{1, 0x045E, 0x028E, std::string(200, 'a'), descriptor});
    ASSERT_EQ(longName.size(), 10u + 127u + 4u);
    EXPECT_EQ(Bytes(longName.begin(), longName.begin() + 8), hex("0C 0001 045E 028E 7F"));
    EXPECT_EQ(longName[8 + 126], 'a');
    EXPECT_EQ(Bytes(longName.end() - 6, longName.end()), hex("0004 05010905"));

    std::string wideName(126, 'b');
    wideName += "\xC3\xA9";
    const Bytes wide = Encoder::encode(UhidCreate{1, 2, 3, wideName, {}});
    EXPECT_EQ(wide[7], 126);
    EXPECT_EQ(wide.size(), 10u + 126u);

    EXPECT_EQ(Encoder::encode(UhidCreate{3, 4, 5, "", {0xAA}}),
              hex("0C 0003 0004 0005 00 0001 AA"));
}

TEST(ControlMessageEncoder, UhidInputAndStartAppCarryTheirLengths) {
    EXPECT_EQ(Encoder::encode(UhidInput{7, {1, 2, 3}}), hex("0D 0007 0003 010203"));
    const std::string name(255, 'p');
    const Bytes whole = Encoder::encode(StartApp{name});
    ASSERT_EQ(whole.size(), 257u);
    EXPECT_EQ(whole[1], 255);
    const Bytes cut = Encoder::encode(StartApp{name + "q"});
    EXPECT_EQ(cut, whole);
    Bytes expected = hex("10 0B");
    const ByteView package = asBytes("com.example");
    expected.insert(expected.end(), package.begin(), package.end());
    EXPECT_EQ(Encoder::encode(StartApp{"com.example"}), expected);
}

TEST(ControlMessageEncoder, RefusesUhidPayloadsTheLengthFieldCannotCount) {
    BinaryWriter writer;
    writer.u8(0x42);
    const Bytes fits(65535, 0x11);
    EXPECT_NO_THROW(Encoder::encode(UhidInput{1, fits}, writer));
    EXPECT_EQ(writer.data().size(), 1u + 5u + 65535u);

    writer.clear();
    try {
        Encoder::encode(UhidInput{1, Bytes(65536, 0x11)}, writer);
        FAIL() << "an oversized report must be refused";
    } catch (const BinaryError& error) {
        EXPECT_EQ(error.kind(), BinaryErrorKind::invalid);
        EXPECT_STREQ(error.what(), "uhid input report of 65536 bytes exceeds 65535");
    }
    EXPECT_TRUE(writer.data().empty()) << "nothing of a refused message may reach the stream";

    EXPECT_THROW(Encoder::encode(UhidCreate{1, 2, 3, "pad", Bytes(70000, 0)}, writer), BinaryError);
    EXPECT_TRUE(writer.data().empty());
}

}  // namespace
}  // namespace qm
