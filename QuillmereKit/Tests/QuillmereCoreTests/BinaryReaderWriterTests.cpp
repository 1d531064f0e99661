#include <gtest/gtest.h>

#include "QuillmereCore/BinaryError.h"
#include "QuillmereCore/BinaryReader.h"
#include "QuillmereCore/BinaryWriter.h"
#include "Support/Expect.h"

namespace qm {
namespace {

TEST(BinaryWriter, WritesBigEndianTwosComplementFields) {
    BinaryWriter w;
    w.u16(0x0102);
    w.i32(-2);
    w.u64(1);
    w.i16(-300);
    w.u32(0xA1B2C3D4);
    w.i64(-1);
    w.u8(0x7F);
    EXPECT_EQ(w.data(), (Bytes{0x01, 0x02, 0xFF, 0xFF, 0xFF, 0xFE, 0,    0,    0,    0,
                               0,    0,    0,    1,    0xFE, 0xD4, 0xA1, 0xB2, 0xC3, 0xD4,
                               0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}));
}

TEST(BinaryWriter, LengthPrefixesCountTheBytes) {
    const Bytes abc{0x61, 0x62, 0x63};
    BinaryWriter two;
    two.lengthPrefixed(abc, 2);
    EXPECT_EQ(two.data(), (Bytes{0x00, 0x03, 0x61, 0x62, 0x63}));
    BinaryWriter one;
    one.lengthPrefixed(abc, 1);
    EXPECT_EQ(one.data(), (Bytes{0x03, 0x61, 0x62, 0x63}));
    BinaryWriter four;
    four.lengthPrefixed({}, 4);
    EXPECT_EQ(four.data(), (Bytes{0, 0, 0, 0}));
}

TEST(BinaryWriter, RefusesAValueItsPrefixCannotCountAndWritesNothing) {
    BinaryWriter w;
    w.u8(9);
    const Bytes tooLong(256, 0xAA);
    EXPECT_EQ(test::thrown<BinaryError>([&] { w.lengthPrefixed(tooLong, 1); }).kind(),
              BinaryErrorKind::invalid);
    EXPECT_EQ(test::thrown<BinaryError>([&] { w.lengthPrefixed(Bytes(65536), 2); }).kind(),
              BinaryErrorKind::invalid);
    EXPECT_EQ(test::thrown<BinaryError>([&] { w.lengthPrefixed(tooLong, 3); }).message(),
              "lengthBytes must be 1, 2 or 4, got 3");
    EXPECT_EQ(w.data(), Bytes{9});
    w.lengthPrefixed(Bytes(255, 1), 1);
    EXPECT_EQ(w.data().size(), 1u + 1u + 255u);
    EXPECT_EQ(w.data()[1], 255);
}

TEST(BinaryReader, ReadsWhatTheWriterWrote) {
    BinaryWriter w;
    w.u8(200);
    w.i16(-2);
    w.u16(65535);
    w.i32(-123456789);
    w.u32(4000000000u);
    w.i64(-9000000000000000000);
    w.u64(18000000000000000000u);
    w.lengthPrefixed(Bytes{1, 2, 3}, 4);
    w.bytes(Bytes{7, 8});
    BinaryReader r(w.take());
    EXPECT_EQ(r.u8(), 200);
    EXPECT_EQ(r.i16(), -2);
    EXPECT_EQ(r.u16(), 65535);
    EXPECT_EQ(r.i32(), -123456789);
    EXPECT_EQ(r.u32(), 4000000000u);
    EXPECT_EQ(r.i64(), -9000000000000000000);
    EXPECT_EQ(r.u64(), 18000000000000000000u);
    EXPECT_EQ(r.lengthPrefixed(4), (Bytes{1, 2, 3}));
    EXPECT_EQ(r.bytes(2), (Bytes{7, 8}));
    EXPECT_EQ(r.remaining(), 0u);
    EXPECT_TRUE(r.bytes(0).empty());
}

TEST(BinaryReader, FailedFixedWidthReadsLeaveThePosition) {
    BinaryReader r(Bytes{0x11, 0x22, 0x33});
    EXPECT_EQ(test::thrown<BinaryError>([&] { r.u32(); }).kind(), BinaryErrorKind::truncated);
    EXPECT_EQ(test::thrown<BinaryError>([&] { r.i64(); }).kind(), BinaryErrorKind::truncated);
    EXPECT_EQ(r.u8(), 0x11);
    EXPECT_EQ(test::thrown<BinaryError>([&] { r.bytes(3); }).kind(), BinaryErrorKind::truncated);
    EXPECT_EQ(r.u16(), 0x2233);
    EXPECT_EQ(test::thrown<BinaryError>([&] { r.u8(); }).kind(), BinaryErrorKind::truncated);
}

TEST(BinaryReader, TruncatedLengthPrefixedBodyConsumesNothing) {
    BinaryReader r(Bytes{0x00, 0x05, 0x61, 0x62});
    EXPECT_EQ(test::thrown<BinaryError>([&] { r.lengthPrefixed(2); }).kind(),
              BinaryErrorKind::truncated);
    EXPECT_EQ(r.u16(), 5);
    EXPECT_EQ(r.remaining(), 2u);
}

TEST(BinaryReader, HugeLengthPrefixIsTruncatedNotAnAllocation) {
    BinaryReader r(Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0x01});
    EXPECT_EQ(test::thrown<BinaryError>([&] { r.lengthPrefixed(4); }).kind(),
              BinaryErrorKind::truncated);
    EXPECT_EQ(r.remaining(), 5u);
}

TEST(BinaryReader, RejectsNegativeCountsAndBadPrefixWidths) {
    BinaryReader r(Bytes{1, 2});
    const BinaryError negative = test::thrown<BinaryError>([&] { r.bytes(-1); });
    EXPECT_EQ(negative, BinaryError::invalid("negative byte count -1"));
    EXPECT_EQ(test::thrown<BinaryError>([&] { r.lengthPrefixed(3); }),
              BinaryError::invalid("lengthBytes must be 1, 2 or 4, got 3"));
    EXPECT_EQ(r.remaining(), 2u);
}

TEST(BinaryReader, SliceOfALargerBufferStartsAtItsFirstByte) {
    const Bytes whole{9, 9, 0xFF, 0xFE, 9};
    BinaryReader r(ByteView(whole).subspan(2, 2));
    EXPECT_EQ(r.i16(), -2);
    EXPECT_EQ(r.remaining(), 0u);
}

}  // namespace
}  // namespace qm
