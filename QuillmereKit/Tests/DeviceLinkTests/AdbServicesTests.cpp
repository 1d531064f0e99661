#include <chrono>
#include <future>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "DeviceLink/DeviceInfo.h"
#include "DeviceLink/SyncProtocol.h"
#include "Support/TestHost.h"
#include "Support/Waiting.h"

namespace qm::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

Bytes pattern(std::size_t count) {
    Bytes out(count);
    for (std::size_t i = 0; i < count; ++i) {
        out[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    }
    return out;
}

// The request ids of a transfer with their arguments, walking its framing.
std::vector<std::pair<std::string, std::uint32_t>> requests(ByteView transfer) {
    std::vector<std::pair<std::string, std::uint32_t>> out;
    while (transfer.size() >= 8) {
        const std::string id(asText(transfer.first(4)));
        const std::uint32_t argument = LittleEndian::u32(transfer, 4);
        out.emplace_back(id, argument);
        const std::size_t body = id == "DONE" ? 0 : argument;
        transfer = transfer.subspan(std::min(transfer.size(), 8 + body));
    }
    EXPECT_TRUE(transfer.empty());
    return out;
}

TEST(SyncProtocol, TransferIsSendDataPiecesAndDone) {
    const Bytes small = SyncProtocol::sendFile(toBytes("abc"), "/data/local/tmp/a", 0644, 7);
    EXPECT_EQ(small.size(), 48u);  // a 21-byte spec and a 3-byte file
    EXPECT_EQ(asText(ByteView(small).subspan(8, 21)), "/data/local/tmp/a,420");
    EXPECT_THAT(requests(SyncProtocol::sendFile({}, "/x", 0755, 9)),
                ElementsAre(std::pair{"SEND", 6u}, std::pair{"DONE", 9u}));
    EXPECT_EQ(asText(ByteView(SyncProtocol::sendFile({}, "/x", 0755, 9)).subspan(8, 6)), "/x,493");
    EXPECT_THAT(
        requests(SyncProtocol::sendFile(pattern(65536), "/x", 0, 0)),
        ElementsAre(std::pair{"SEND", 4u}, std::pair{"DATA", 65536u}, std::pair{"DONE", 0u}));
    EXPECT_THAT(requests(SyncProtocol::sendFile(pattern(65537), "/x", 0, 0)),
                ElementsAre(std::pair{"SEND", 4u}, std::pair{"DATA", 65536u}, std::pair{"DATA", 1u},
                            std::pair{"DONE", 0u}));
    EXPECT_THAT(requests(SyncProtocol::sendFile(pattern(131072), "/x", 0, 0)),
                ElementsAre(std::pair{"SEND", 4u}, std::pair{"DATA", 65536u},
                            std::pair{"DATA", 65536u}, std::pair{"DONE", 0u}));
}

TEST(SyncProtocol, RepliesAreOkayOrFailWithALength) {
    EXPECT_EQ(SyncProtocol::parseStatus(SyncProtocol::request("OKAY", 99)), SyncProtocol::Status{});
    EXPECT_EQ(SyncProtocol::parseStatus(SyncProtocol::request("FAIL", 12)),
              (SyncProtocol::Status{SyncProtocol::Status::Kind::fail, 12}));
    try {
        SyncProtocol::parseStatus(SyncProtocol::request("DENT", 0));
        ADD_FAILURE() << "parsed";
    } catch (const AdbError& error) {
        EXPECT_EQ(error, AdbError::protocolViolation("unexpected sync response 'DENT'"));
    }
}

class AdbServices : public ::testing::Test {
protected:
    void SetUp() override { host_ = connectedHost(phone_); }
    void TearDown() override {
        EXPECT_TRUE(eventually([&] { return phone_.adb().openStreamCount() == 0; }))
            << "a stream was left open";
        EXPECT_THAT(phone_.adb().violations(), IsEmpty());
    }
    FakePhoneServices& services() { return phone_.adb().services(); }

    FakePhone phone_;
    std::shared_ptr<AdbConnection> host_;
};

TEST_F(AdbServices, ShellReturnsTheWholeOutputAsText) {
    EXPECT_EQ(DeviceInfoQuery::parse(host_->shell(std::string(DeviceInfoQuery::command))).sdk, 34);
    services().answerShell("printf", std::string_view("a\xFF"
                                                      "b\r\n"));
    EXPECT_EQ(host_->shell("printf"), "a\uFFFDb\r\n");
    services().answerShell("true", "");
    EXPECT_EQ(host_->shell("true"), "");
    EXPECT_EQ(host_->shell("nosuch -x"), "/system/bin/sh: nosuch: inaccessible or not found\n");
    EXPECT_THAT(services().shellCommands(),
                ElementsAre(std::string(DeviceInfoQuery::command), "printf", "true", "nosuch -x"));
}

TEST_F(AdbServices, ShellOutputCutByALinkFailureIsNotAnAnswer) {
    services().hangShell("getprop", "QM0001\nQuill");
    auto output = std::async(std::launch::async, [&] { return host_->shell("getprop"); });
    ASSERT_TRUE(eventually([&] { return phone_.adb().openStreamCount() == 1; }));
    phone_.adb().dropLink();
    try {
        output.get();
        ADD_FAILURE() << "the partial output passed for the whole";
    } catch (const AdbError& error) {
        EXPECT_EQ(error.kind(), AdbErrorKind::closed);
    }
}

TEST_F(AdbServices, ShellOutputEndedByThePhoneIsTheAnswer) {
    services().hangShell("logcat", "line\n");
    auto output = std::async(std::launch::async, [&] { return host_->shell("logcat"); });
    ASSERT_TRUE(eventually([&] { return phone_.adb().openStreamCount() == 1; }));
    phone_.adb().closeStream(1);
    EXPECT_EQ(output.get(), "line\n");
}

TEST(AdbServicesBounds, ShellOutputTooLongOrTooSlowIsRefused) {
    for (const bool tooLong : {true, false}) {
        SCOPED_TRACE(tooLong ? "too long" : "too slow");
        FakePhone phone;
        AdbConnectionTimings timings = shortDrain();
        if (!tooLong) {
            timings.shellTimeout = std::chrono::milliseconds(1);
        }
        const auto host = connectedHost(phone, {}, timings);
        if (tooLong) {
            phone.adb().services().answerShell("getprop",
                                               std::string(AdbConnection::maxShellOutput + 1, 'x'));
        } else {
            phone.adb().services().hangShell("getprop", "QM0001\n");
        }
        try {
            host->shell("getprop");
            ADD_FAILURE() << "answered";
        } catch (const AdbError& error) {
            EXPECT_EQ(error.kind(),
                      tooLong ? AdbErrorKind::protocolViolation : AdbErrorKind::timedOut);
        }
        EXPECT_TRUE(eventually([&] { return phone.adb().openStreamCount() == 0; }));
        EXPECT_THAT(phone.adb().violations(), IsEmpty());
    }
}

TEST_F(AdbServices, PushStoresTheFileWithItsModeAndTime) {
    const Bytes jar = pattern(65536 * 2 + 5);
    host_->push(jar, "/data/local/tmp/quillmere-server.jar", 0644, 1700000000);
    EXPECT_EQ(services().file("/data/local/tmp/quillmere-server.jar"),
              (FakeFile{jar, 0644, 1700000000}));

    DeviceServices& device = *host_;
    // Stamped with the time of the push, in whole seconds.
    const auto before = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
    device.push({}, "/data/local/tmp/empty", 0755);
    const auto after = std::chrono::system_clock::now();
    const auto stamped = std::chrono::system_clock::time_point(
        std::chrono::seconds(services().file("/data/local/tmp/empty")->mtime));
    EXPECT_GE(stamped, before);
    EXPECT_LE(stamped, after);
    EXPECT_EQ(services().file("/data/local/tmp/empty")->mode, 0755u);
    EXPECT_TRUE(services().file("/data/local/tmp/empty")->data.empty());
}

TEST(AdbServicesSmallPayload, PushedFileCrossesWriteBoundariesIntact) {
    FakeAdbScript script;
    script.maxPayload = 4096;
    FakePhone phone(script);
    auto host = connectedHost(phone);
    const Bytes file = pattern(65536 + 4000);
    host->push(file, "/data/local/tmp/f", 0600, 5);
    EXPECT_EQ(phone.adb().services().file("/data/local/tmp/f"), (FakeFile{file, 0600, 5}));
    EXPECT_THAT(phone.adb().violations(), IsEmpty());
}

TEST_F(AdbServices, PushFailureCarriesThePhonesText) {
    services().failPush("/system/x", "Read-only fs");
    services().failPush("/system/y", "");
    for (const auto& [path, message] :
         {std::pair{"/system/x", "Read-only fs"}, {"/system/y", ""}}) {
        try {
            host_->push(toBytes("data"), path, 0644, 0);
            ADD_FAILURE() << "pushed";
        } catch (const AdbError& error) {
            EXPECT_EQ(error, AdbError::syncFailed(message));
        }
    }
    EXPECT_EQ(services().fileCount(), 0u);
}

TEST_F(AdbServices, NamedServicesAreByteChannels) {
    const std::string socket = "localabstract:quillmere_0000002a";
    services().acceptService(socket);
    DeviceServices& device = *host_;
    const std::shared_ptr<ByteChannel> channel = device.openService(socket);
    channel->write(toBytes("ping"));
    ASSERT_TRUE(phone_.adb().sendOnStream(1, toBytes("pong")));
    EXPECT_EQ(channel->readExactly(4), toBytes("pong"));
    EXPECT_TRUE(eventually([&] { return services().receivedOn(1) == toBytes("ping"); }));
    channel->close();
    EXPECT_THROW(device.openService("localabstract:elsewhere"), AdbError);
}

}  // namespace
}  // namespace qm::test
