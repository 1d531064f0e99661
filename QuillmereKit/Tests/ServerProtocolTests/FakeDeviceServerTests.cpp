// The fake device server must catch a host that breaks the protocol, or the launcher tests that
// rely on it prove nothing.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ServerProtocol/ControlMessageEncoder.h"
#include "ServerProtocol/ServerOptions.h"
#include "Support/FakeControlReader.h"
#include "Support/TestHost.h"
#include "Support/Waiting.h"

namespace qm {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

TEST(FakeControlReader, ReadsEveryMessageWhateverTheCuts) {
    const std::vector<ControlMessage> messages = {
        InjectKeycode{KeyAction::up, 66, 2, 0x41},
        InjectTouch{MotionAction::move, PointerID::mouse, {-5, 700, 1280, 720}, 0.5f, 1, 1},
        InjectTouch{MotionAction::down, 3, {10, 20, 1280, 720}, 1.0f, 0, 0},
        InjectScroll{{100, 200, 1280, 720}, 1.0f, -2.0f, 0},
        BackOrScreenOn{KeyAction::down},
        SetDisplayPower{true},
        UhidCreate{1, 0x054C, 0x09CC, "Wireless Controller", Bytes{0x05, 0x01, 0x09, 0x05}},
        UhidInput{1, Bytes(64, 0x7F)},
        UhidDestroy{1},
        StartApp{"com.tressik.racer"},
        ResetVideo{},
    };
    Bytes wire;
    for (const ControlMessage& message : messages) {
        const Bytes bytes = ControlMessageEncoder::encode(message);
        wire.insert(wire.end(), bytes.begin(), bytes.end());
    }
    for (const std::size_t cut : {std::size_t{1}, std::size_t{7}, wire.size()}) {
        test::FakeControlReader reader;
        std::vector<ControlMessage> read;
        std::optional<std::string> error;
        for (std::size_t at = 0; at < wire.size(); at += cut) {
            const auto got =
                reader.take(ByteView(wire).subspan(at, std::min(cut, wire.size() - at)), error);
            read.insert(read.end(), got.begin(), got.end());
        }
        EXPECT_EQ(error, std::nullopt);
        EXPECT_EQ(read, messages) << "cut " << cut;
    }
    test::FakeControlReader reader;
    std::optional<std::string> error;
    EXPECT_THAT(reader.take(Bytes{0x63}, error), IsEmpty());
    EXPECT_EQ(error, "unknown control message type 99");
}

TEST(FakeDeviceServer, RecordsAHostThatBreaksTheProtocol) {
    test::FakePhone phone;
    const auto host = test::connectedHost(phone);
    test::FakeServerScript script;
    script.refusedWhileStarting = 0;
    phone.server().setScript(script);

    ServerOptions options(0x2a);
    std::string command = options.shellCommand();
    command.replace(command.find("cleanup=true"), 12, "cleanup=false");
    const auto shell = host->open("shell:" + command);  // and no jar pushed
    EXPECT_TRUE(test::eventually([&] { return phone.violations().size() == 1; }));
    EXPECT_THAT(phone.violations().at(0), HasSubstr("where cleanup=... belongs"));
    EXPECT_EQ(shell->readToEnd(), Bytes(asBytes("[server] ERROR: Usage error\n").begin(),
                                        asBytes("[server] ERROR: Usage error\n").end()));

    test::FakePhone phone2;
    const auto host2 = test::connectedHost(phone2);
    phone2.server().setScript(script);
    const auto shell2 = host2->open("shell:" + options.shellCommand());
    const auto ext = host2->open("localabstract:" + options.extSocketName());
    const auto video = host2->open("localabstract:" + options.socketName());
    video->write(asBytes("x"));
    EXPECT_TRUE(test::eventually([&] { return phone2.violations().size() == 3; }));
    EXPECT_THAT(phone2.violations(), Contains("server started before its jar was pushed"));
    EXPECT_THAT(phone2.violations(),
                Contains("host opened the extension socket before the media sockets"));
    EXPECT_THAT(phone2.violations(), Contains("host wrote 1 bytes on the video socket"));
}

}  // namespace
}  // namespace qm
