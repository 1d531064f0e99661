#include <thread>

#include <gtest/gtest.h>

#include "QuillmereCore/BinaryError.h"
#include "QuillmereCore/DataByteSource.h"
#include "QuillmereCore/MemoryByteChannel.h"
#include "ServerProtocol/DeviceMessageDecoder.h"
#include "Support/Expect.h"
#include "Support/Hex.h"
#include "Support/Waiting.h"

namespace qm {
namespace {

using test::hex;

DeviceMessage decode(DataByteSource& source) {
    return DeviceMessageDecoder::next(source);
}

std::string invalidMessage(DataByteSource& source) {
    const BinaryError error = test::thrown<BinaryError>([&] { decode(source); });
    EXPECT_EQ(error.kind(), BinaryErrorKind::invalid);
    return error.what();
}

std::string invalidMessage(const Bytes& bytes) {
    DataByteSource source(bytes);
    return invalidMessage(source);
}

TEST(DeviceMessageDecoder, ReadsClipboardsAndConsumesOnlyTheirBytes) {
    DataByteSource source(hex("00 00000003 616263  00 00000000  01"));
    EXPECT_EQ(decode(source), DeviceMessage(Clipboard{"abc"}));
    EXPECT_EQ(decode(source), DeviceMessage(Clipboard{""}));
    EXPECT_EQ(source.remaining(), 1u);
}

TEST(DeviceMessageDecoder, ClipboardLengthLimitIsInclusiveAndReadsNothingBeyondIt) {
    Bytes largest = hex("00 0003FFFB");
    largest.resize(largest.size() + 262139, 'x');
    DataByteSource source(largest);
    EXPECT_EQ(std::get<Clipboard>(decode(source)).text.size(), 262139u);

    DataByteSource tooLong(hex("00 0003FFFC 61 62"));
    EXPECT_EQ(invalidMessage(tooLong), "clipboard length 262140");
    EXPECT_EQ(tooLong.remaining(), 2u);
    EXPECT_EQ(invalidMessage(hex("00 FFFFFFFF")), "clipboard length 4294967295");
}

TEST(DeviceMessageDecoder, ReplacesIllFormedClipboardText) {
    DataByteSource source(hex("00 00000003 61FF62"));
    EXPECT_EQ(decode(source), DeviceMessage(Clipboard{"a\xEF\xBF\xBD"
                                                      "b"}));
}

TEST(DeviceMessageDecoder, ReadsAcknowledgementsAndHidOutput) {
    DataByteSource source(hex("01 000000000000002A  02 0001 0000  02 0001 0002 AABB"));
    EXPECT_EQ(decode(source), DeviceMessage(AckClipboard{42}));
    EXPECT_EQ(decode(source), DeviceMessage(UhidOutput{1, {}}));
    EXPECT_EQ(decode(source), DeviceMessage(UhidOutput{1, {0xAA, 0xBB}}));
    EXPECT_EQ(source.remaining(), 0u);
}

TEST(DeviceMessageDecoder, RejectsUnknownTypesByNumber) {
    EXPECT_EQ(invalidMessage(hex("05")), "unknown device message type 5");
    EXPECT_EQ(invalidMessage(hex("FF 00")), "unknown device message type 255");
}

TEST(DeviceMessageDecoder, PassesSourceErrorsThrough) {
    for (const char* cut : {"", "00 0000", "00 00000004 6162", "01 0000", "02 00010002 AA"}) {
        DataByteSource source(hex(cut));
        try {
            decode(source);
            ADD_FAILURE() << "no error for '" << cut << "'";
        } catch (const ByteIOError& error) {
            EXPECT_EQ(error.kind(), ByteIOErrorKind::endOfStream) << cut;
        }
    }
}

TEST(DeviceMessageDecoder, WaitsForAMessageSplitAcrossWritesAndEndsOnClose) {
    MemoryByteChannel channel;
    std::optional<DeviceMessage> received;
    std::jthread reader([&] { received = DeviceMessageDecoder::next(channel); });
    channel.feed(hex("02 0009"));
    ASSERT_TRUE(test::eventually([&] { return channel.parkedReaderCount() == 1; }));
    channel.feed(hex("0001 7F"));
    reader.join();
    EXPECT_EQ(received, DeviceMessage(UhidOutput{9, {0x7F}}));

    std::jthread closedReader(
        [&] { EXPECT_THROW(DeviceMessageDecoder::next(channel), ByteIOError); });
    ASSERT_TRUE(test::eventually([&] { return channel.parkedReaderCount() == 1; }));
    channel.close();
}

}  // namespace
}  // namespace qm
