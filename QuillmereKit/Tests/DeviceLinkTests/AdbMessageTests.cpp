#include <fmt/format.h>

#include <gtest/gtest.h>

#include "DeviceLink/AdbMessage.h"

namespace qm {
namespace {

using Command = AdbMessage::Command;

std::string violationText(ByteView header) {
    try {
        AdbMessage::decodeHeader(header);
    } catch (const AdbError& error) {
        EXPECT_EQ(error.kind(), AdbErrorKind::protocolViolation);
        return error.message();
    }
    ADD_FAILURE() << "the header decoded";
    return {};
}

Bytes header(std::uint32_t command, std::uint32_t magic, std::uint32_t length = 0) {
    Bytes out;
    for (std::uint32_t field : {command, 7u, 9u, length, 0u, magic}) {
        LittleEndian::append(field, out);
    }
    return out;
}

TEST(AdbMessage, HostConnectEncodesToTheKnownBytes) {
    const std::string_view banner = "host::features=shell_v2,cmd";
    const AdbMessage connect(Command::cnxn, AdbProtocolConstants::version,
                             AdbProtocolConstants::maxPayload, Bytes(banner.begin(), banner.end()));
    const auto bytes = connect.encodedHeader();
    const Bytes expected = {'C',  'N',  'X',  'N',  0x01, 0x00, 0x00, 0x01, 0x00, 0x00, 0x04, 0x00,
                            0x1B, 0x00, 0x00, 0x00, 0x4D, 0x0A, 0x00, 0x00, 0xBC, 0xB1, 0xA7, 0xB1};
    EXPECT_EQ(Bytes(bytes.begin(), bytes.end()), expected);
    EXPECT_EQ(AdbMessage::legacyChecksum(connect.payload), 2637u);

    const AdbHeader decoded = AdbMessage::decodeHeader(bytes);
    EXPECT_EQ(AdbMessage(decoded, connect.payload), connect);
}

TEST(AdbMessage, EveryCommandRoundTripsAndSpellsItsLetters) {
    const std::pair<Command, std::string_view> all[] = {
        {Command::cnxn, "CNXN"}, {Command::auth, "AUTH"}, {Command::open, "OPEN"},
        {Command::okay, "OKAY"}, {Command::clse, "CLSE"}, {Command::wrte, "WRTE"},
        {Command::stls, "STLS"}};
    for (const auto& [command, letters] : all) {
        const AdbMessage message(command, 0xDEADBEEF, 1, {});
        const auto bytes = message.encodedHeader();
        EXPECT_EQ(asText(ByteView(bytes).first(4)), letters);
        const AdbHeader decoded = AdbMessage::decodeHeader(bytes);
        EXPECT_EQ(decoded.dataLength, 0u);
        EXPECT_EQ(decoded.dataChecksum, 0u);
        EXPECT_EQ(AdbMessage(decoded, {}), message);
    }
    EXPECT_EQ(commandName(Command::stls), "stls");
    EXPECT_EQ(fromRawValue<Command>(0), std::nullopt);
}

TEST(AdbMessage, HeaderChecksRunInOrderWithTheirTexts) {
    EXPECT_EQ(violationText(Bytes(23)), "header must be 24 bytes, got 23");
    EXPECT_EQ(violationText(Bytes(25)), "header must be 24 bytes, got 25");
    // The magic is checked before the command is looked up.
    EXPECT_EQ(violationText(header(0x12345678, 0x12345678)),
              "bad magic 0x12345678 for command 0x12345678");
    EXPECT_EQ(violationText(header(0, 0xFFFFFFFF)), "unknown command 0x00000000");
}

TEST(AdbMessage, ChecksumIsNeverVerifiedButLengthIs) {
    Bytes bytes = header(rawValue(Command::wrte), ~rawValue(Command::wrte), 8);
    bytes[16] = 0x99;  // a checksum that matches nothing
    const AdbHeader decoded = AdbMessage::decodeHeader(bytes);
    EXPECT_EQ(AdbMessage(decoded, Bytes(8, 1)).payload.size(), 8u);
    for (const std::size_t wrong : {7u, 9u}) {
        try {
            AdbMessage(decoded, Bytes(wrong, 1));
            ADD_FAILURE() << "a " << wrong << "-byte payload was taken for 8";
        } catch (const AdbError& error) {
            EXPECT_EQ(error, AdbError::protocolViolation(
                                 fmt::format("payload is {} bytes, header says 8", wrong)));
        }
    }
    AdbHeader unknown = decoded;
    unknown.command = 1;
    EXPECT_THROW(AdbMessage(unknown, Bytes(8)), AdbError);
}

TEST(AdbMessage, LittleEndianReadsRelativeToTheView) {
    const Bytes storage = {0xFF, 0xFF, 0x01, 0x02, 0x03, 0x04};
    EXPECT_EQ(LittleEndian::u32(ByteView(storage).subspan(2), 0), 0x04030201u);
    Bytes out = {0xAA};
    LittleEndian::append(0x11223344, out);
    EXPECT_EQ(out, (Bytes{0xAA, 0x44, 0x33, 0x22, 0x11}));
}

TEST(AdbMessage, ErrorsCompareByCaseAndText) {
    EXPECT_EQ(AdbError::protocolViolation("a"), AdbError::protocolViolation("a"));
    EXPECT_FALSE(AdbError::protocolViolation("a") == AdbError::syncFailed("a"));
    EXPECT_FALSE(AdbError::streamOpenFailed("a") == AdbError::streamOpenFailed("b"));
    EXPECT_EQ(AdbError::closed(), AdbError::closed());
    EXPECT_FALSE(AdbError::closed() == AdbError::authRejected());
}

}  // namespace
}  // namespace qm
