#include <atomic>
#include <future>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "Support/Expect.h"
#include "Support/TestHost.h"
#include "Support/Waiting.h"

namespace qm::test {
namespace {

using namespace std::chrono_literals;
using Command = AdbMessage::Command;
using Approval = FakeAdbScript::Approval;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

FakeAdbScript scripted(Approval approval) {
    FakeAdbScript script;
    script.approval = approval;
    return script;
}

FakeAdbScript scripted(HandshakeFault fault) {
    FakeAdbScript script;
    script.fault = fault;
    return script;
}

std::vector<std::pair<Command, std::uint32_t>> commandsAndTypes(const FakeAdbDevice& adb) {
    std::vector<std::pair<Command, std::uint32_t>> out;
    for (const SeenMessage& message : adb.received()) {
        out.emplace_back(message.command, message.command == Command::auth ? message.arg0 : 0);
    }
    return out;
}

template <typename F>
std::string adbFailure(F&& f, AdbErrorKind kind = AdbErrorKind::protocolViolation) {
    const AdbError error = test::thrown<AdbError>(std::forward<F>(f));
    EXPECT_EQ(error.kind(), kind) << error.what();
    return error.message();
}

TEST(AdbConnectionHandshake, TrustedKeyConnectsOnItsSignatureAlone) {
    FakePhone phone;
    phone.adb().trust(*testHostKey());
    auto host = makeHost(phone);
    int approvals = 0;
    const DeviceBanner banner = host->connect([&] { ++approvals; });
    EXPECT_EQ(banner.state, "device");
    EXPECT_EQ(banner.properties.at("ro.product.model"), "QM One");
    EXPECT_EQ(banner.features, (std::set<std::string>{"shell_v2", "cmd"}));
    EXPECT_EQ(host->banner(), banner);
    EXPECT_EQ(approvals, 0);
    EXPECT_THAT(commandsAndTypes(phone.adb()),
                ElementsAre(std::pair{Command::cnxn, 0u},
                            std::pair{Command::auth, AdbMessage::authSignature}));
    EXPECT_THAT(phone.adb().violations(), IsEmpty());
}

TEST(AdbConnectionHandshake, UnknownKeyIsOfferedOnceAndTheUserAsked) {
    FakePhone phone(scripted(Approval::onSignal));
    auto host = makeHost(phone);
    std::atomic<int> approvals = 0;
    auto connected = std::async(std::launch::async, [&] {
        return host->connect([&] {
            // The key is on the wire before the user is told to look at the phone.
            EXPECT_EQ(host->banner(), std::nullopt);
            ++approvals;
        });
    });
    ASSERT_TRUE(eventually([&] { return approvals == 1; }));
    ASSERT_TRUE(eventually([&] { return phone.adb().approvePendingKey(); }));
    EXPECT_EQ(connected.get().state, "device");
    EXPECT_EQ(approvals, 1);
    EXPECT_THAT(phone.adb().offeredKeyComments(), ElementsAre("tester@desk"));
    EXPECT_THAT(commandsAndTypes(phone.adb()),
                ElementsAre(std::pair{Command::cnxn, 0u},
                            std::pair{Command::auth, AdbMessage::authSignature},
                            std::pair{Command::auth, AdbMessage::authPublicKey}));
    EXPECT_THAT(phone.adb().violations(), IsEmpty());
}

TEST(AdbConnectionHandshake, AThirdTokenIsARejection) {
    FakePhone phone(scripted(Approval::refuse));
    auto host = makeHost(phone);
    int approvals = 0;
    try {
        host->connect([&] { ++approvals; });
        ADD_FAILURE() << "connected";
    } catch (const AdbError& error) {
        EXPECT_EQ(error, AdbError::authRejected());
    }
    EXPECT_EQ(approvals, 1);
    EXPECT_EQ(phone.adb().tokensSent(), 3u);
    EXPECT_EQ(phone.adb().received().size(), 3u);  // nothing after the public key
    EXPECT_EQ(host->banner(), std::nullopt);
}

TEST(AdbConnectionHandshake, PhoneFaultsEndItWithTheirTexts) {
    const std::pair<HandshakeFault, std::string> cases[] = {
        {HandshakeFault::wrongAuthType, "unexpected AUTH type 2 from device"},
        {HandshakeFault::shortToken, "AUTH token is 19 bytes, expected 20"},
        {HandshakeFault::stls, "device requested TLS (STLS); only plain USB is supported"},
        {HandshakeFault::openDuringHandshake, "unexpected open during handshake"},
        {HandshakeFault::oversizedPayload, "payload too large: 262145"},
        {HandshakeFault::unknownCommand, "unknown command 0x54534554"},
    };
    for (const auto& [fault, text] : cases) {
        FakePhone phone(scripted(fault));
        auto host = makeHost(phone);
        EXPECT_EQ(adbFailure([&] { host->connect({}); }), text);
        EXPECT_EQ(host->banner(), std::nullopt);
        EXPECT_EQ(host->maxPayload(), AdbProtocolConstants::maxPayload);
        EXPECT_THROW(host->open("shell:true"), AdbError);
    }
    for (HandshakeFault fault : {HandshakeFault::dropLink, HandshakeFault::dropMidMessage}) {
        FakePhone phone(scripted(fault));
        auto host = makeHost(phone);
        EXPECT_THROW(host->connect({}), ByteIOError);
    }
}

TEST(AdbConnectionHandshake, LeftoversOfAnEarlierSessionAreSkipped) {
    for (HandshakeFault fault : {HandshakeFault::strayOkay, HandshakeFault::staleBytesPrefix}) {
        FakePhone phone(scripted(fault));
        phone.adb().trust(*testHostKey());
        auto host = makeHost(phone, {}, {.drainIdle = 10ms});
        EXPECT_EQ(host->connect({}).state, "device");
        EXPECT_THAT(phone.adb().violations(), IsEmpty());
    }
}

TEST(AdbConnectionHandshake, PayloadIsThePhonesCappedAtTheHosts) {
    for (const auto& [advertised, negotiated] :
         {std::pair{0x100000u, 0x40000u}, {4096u, 4096u}, {0x40000u, 0x40000u}}) {
        FakeAdbScript script;
        script.maxPayload = advertised;
        FakePhone phone(script);
        auto host = connectedHost(phone);
        EXPECT_EQ(host->maxPayload(), negotiated);
    }
    FakeAdbScript script;
    script.maxPayload = 0;
    FakePhone phone(script);
    phone.adb().trust(*testHostKey());
    auto host = makeHost(phone);
    EXPECT_EQ(adbFailure([&] { host->connect({}); }), "device advertised maxPayload 0");
    EXPECT_EQ(host->maxPayload(), AdbProtocolConstants::maxPayload);
    EXPECT_EQ(host->banner(), std::nullopt);
}

TEST(AdbConnectionHandshake, CloseEndsAWaitForTheUserAndStaysClosed) {
    FakePhone phone(scripted(Approval::never));
    auto host = makeHost(phone);
    auto connected = std::async(std::launch::async, [&] { host->connect({}); });
    ASSERT_TRUE(eventually([&] { return phone.adb().offeredKeyComments().size() == 1; }));
    host->close();
    EXPECT_THROW(connected.get(), AdbError);
    host->close();
    EXPECT_EQ(adbFailure([&] { host->connect({}); }, AdbErrorKind::closed),
              AdbError::closed().message());
    EXPECT_FALSE(host->hasTransportFailed());
}

}  // namespace
}  // namespace qm::test
