#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "DeviceLink/AdbMessage.h"
#include "QuillmereCore/BinaryError.h"
#include "QuillmereCore/HostClock.h"
#include "QuillmereCore/Log.h"
#include "ServerProtocol/ControlMessageEncoder.h"
#include "ServerProtocol/ExtClient.h"
#include "ServerProtocol/PacketDemuxer.h"
#include "ServerProtocol/ServerLauncher.h"
#include "Support/MediaPackets.h"
#include "Support/TestHost.h"
#include "Support/VirtualClock.h"
#include "Support/Waiting.h"
#include "Telemetry/ClockSync.h"
#include "Telemetry/PtsClockBase.h"

namespace qm {
namespace {

using namespace std::chrono_literals;
using test::FakeServerScript;
using test::FakeServerSocket;
using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

const Bytes jar = {'P', 'K', 3, 4, 'q', 'm'};

}  // namespace

void PrintTo(const ServerError& error, std::ostream* out) {
    *out << error.what() << " [" << error.serverOutput() << "]";
}

namespace {

bool logged(const std::string& category, const std::string& start) {
    const auto entries = Log::recentEntries();
    return std::any_of(entries.begin(), entries.end(), [&](const LogEntry& entry) {
        return entry.category == category && entry.message.starts_with(start);
    });
}

void closeAll(ServerConnection& connection) {
    for (const auto& channel :
         {connection.video, connection.audio, connection.control, connection.ext}) {
        if (channel) {
            channel->close();
        }
    }
    connection.serverLog->close();
}

class ServerLauncherTest : public ::testing::Test {
protected:
    void SetUp() override { host_ = test::connectedHost(phone_); }
    void TearDown() override {
        EXPECT_TRUE(test::eventually([&] { return phone_.adb().openStreamCount() == 0; }))
            << "a stream was left open";
        EXPECT_THAT(phone_.violations(), IsEmpty());
        host_->close();
    }

    void script(const std::function<void(FakeServerScript&)>& change) {
        FakeServerScript s;
        change(s);
        phone_.server().setScript(std::move(s));
    }

    ServerError launchFails(const ServerOptions& options) {
        try {
            ServerConnection connection = launcher_.launch(options, *host_);
            closeAll(connection);
            ADD_FAILURE() << "launched";
        } catch (const ServerError& error) {
            return error;
        }
        return ServerError::configurationError();
    }

    test::FakePhone phone_;
    std::shared_ptr<AdbConnection> host_;

    // The host's CLSEs reach the phone after close() returns.
    std::vector<std::string> closedByHost(std::size_t count) {
        EXPECT_TRUE(
            test::eventually([&] { return phone_.server().closedByHost().size() >= count; }));
        return phone_.server().closedByHost();
    }
    test::VirtualClock clock_;  // outlives the launcher that may hold it
    // Waits that end as soon as what they wait for happens are long, so that a busy machine
    // never runs them out; tests that expect a time-out stop the launcher's clock.
    ServerLauncher launcher_ = [] {
        ServerLauncher launcher(jar, 2ms, 30s, 30s);
        launcher.exitOutputTimeout = 30s;
        return launcher;
    }();

    // Time stands still but for the launcher's own waits.
    void stopTheClock() { launcher_.clock = clock_.taskClock(); }
};

TEST_F(ServerLauncherTest, WholeLaunchConnectsEverySocketInOrder) {
    const ServerOptions options(0x0badcafe);
    ServerConnection connection = launcher_.launch(options, *host_);

    EXPECT_EQ(connection.deviceName, "QM One");
    const auto pushed = phone_.adb().services().file("/data/local/tmp/quillmere-server.jar");
    ASSERT_TRUE(pushed);
    EXPECT_EQ(pushed->data, jar);
    EXPECT_EQ(pushed->mode, 0644u);
    EXPECT_THAT(phone_.server().startCommands(), ElementsAre(options.shellCommand()));
    EXPECT_THAT(phone_.server().acceptedSockets(),
                ElementsAre(FakeServerSocket::video, FakeServerSocket::audio,
                            FakeServerSocket::control, FakeServerSocket::ext));
    EXPECT_TRUE(logged("server", "server started, 4 sockets"));

    // Video: the codec id, then the fixture clip as the server cuts it.
    EXPECT_EQ(PacketDemuxer::readCodecID(*connection.video), rawValue(VideoCodec::h264));
    EXPECT_EQ(PacketDemuxer::nextEvent(*connection.video),
              StreamEvent(StreamSession{{1280, 720}, false}));
    const auto config = std::get<StreamPacket>(PacketDemuxer::nextEvent(*connection.video));
    EXPECT_EQ(config.kind, StreamPacket::Kind::config);
    const auto key = std::get<StreamPacket>(PacketDemuxer::nextEvent(*connection.video));
    EXPECT_EQ(key.kind, StreamPacket::Kind::keyFrame);
    EXPECT_EQ(key.ptsMicros, 0);

    // Audio: raw PCM packets of 20 ms.
    ASSERT_TRUE(connection.audio);
    EXPECT_EQ(PacketDemuxer::readCodecID(*connection.audio), rawValue(AudioCodec::raw));
    for (int i = 0; i < 5; ++i) {
        const auto pcm = std::get<StreamPacket>(PacketDemuxer::nextEvent(*connection.audio));
        EXPECT_EQ(pcm.data.size(), 3840u);
        EXPECT_EQ(pcm.ptsMicros, i * 20000);
    }

    // Control: what the host writes is what the server reads.
    connection.control->write(ControlMessageEncoder::encode(StartApp{"com.tressik.racer"}));
    EXPECT_TRUE(test::eventually([&] {
        return phone_.server().controlMessages() ==
               std::vector<ControlMessage>{StartApp{"com.tressik.racer"}};
    }));

    // Extension: hello, app list with icons, clock, telemetry at the asked interval.
    ASSERT_TRUE(connection.ext);
    ExtClient ext(connection.ext);
    const ExtHello hello = ext.handshake(30s);
    EXPECT_EQ(hello.version, 2);
    EXPECT_GT(hello.phoneWallMillis, 0);
    ext.send(ext::ListApps{true});
    const auto apps = std::get<ext::AppList>(ext.next()).apps;
    ASSERT_EQ(apps.size(), 2u);
    EXPECT_TRUE(apps[0].isGame);
    EXPECT_EQ(Bytes(apps[1].iconPNG.begin(), apps[1].iconPNG.begin() + 4),
              Bytes({0x89, 'P', 'N', 'G'}));
    ext.send(ext::Ping{77});
    EXPECT_EQ(std::get<ext::Pong>(ext.next()).clientNanos, 77u);
    ext.send(ext::SubscribeTelemetry{5});
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(std::get<ext::Telemetry>(ext.next()).telemetry.charging);
    }

    EXPECT_TRUE(test::eventually(
        [&] { return connection.serverLog->outputSoFar().starts_with("[server] INFO"); }));
    ext.close();
    closeAll(connection);
}

TEST_F(ServerLauncherTest, SocketsLeftOffAreNeitherConnectedNorCounted) {
    ServerOptions options(7);
    options.videoCodec = VideoCodec::h265;
    options.audio = false;
    options.control = false;
    options.turnScreenOff = true;  // nothing to send it through
    ServerConnection connection = launcher_.launch(options, *host_);

    EXPECT_THAT(phone_.server().acceptedSockets(),
                ElementsAre(FakeServerSocket::video, FakeServerSocket::ext));
    EXPECT_TRUE(logged("server", "server started, 2 sockets"));
    EXPECT_EQ(connection.audio, nullptr);
    EXPECT_EQ(PacketDemuxer::readCodecID(*connection.video), rawValue(VideoCodec::h265));
    connection.control->write(ServerLauncher::displayOffMessage());  // goes nowhere
    EXPECT_THROW(connection.control->readExactly(1), ByteIOError);
    EXPECT_THAT(phone_.server().controlMessages(), IsEmpty());
    closeAll(connection);
}

TEST_F(ServerLauncherTest, ScreenGoesDarkThroughTheControlSocket) {
    ServerOptions options(8);
    options.turnScreenOff = true;
    options.ext = false;
    ServerConnection connection = launcher_.launch(options, *host_);
    EXPECT_EQ(connection.ext, nullptr);
    EXPECT_TRUE(test::eventually([&] {
        return phone_.server().controlMessages() ==
               std::vector<ControlMessage>{SetDisplayPower{false}};
    }));
    closeAll(connection);
}

TEST_F(ServerLauncherTest, VersionComplaintIsAMismatchWithoutWaitingForTheDeadline) {
    script([](FakeServerScript& s) { s.version = "4.0+qm1"; });
    const ServerError error = launchFails(ServerOptions(1));
    EXPECT_EQ(error.kind(), ServerErrorKind::versionMismatch);
    EXPECT_THAT(error.serverOutput(), HasSubstr("(4.0+qm1) does not match the client (4.1+qm2)"));
}

TEST_F(ServerLauncherTest, ServerThatDiesTellsWhyWhereverItDies) {
    for (const auto fault :
         {FakeServerScript::Fault::dieAtStart, FakeServerScript::Fault::dieOnVideoOpen}) {
        test::FakePhone phone;
        auto host = test::connectedHost(phone);
        FakeServerScript s;
        s.fault = fault;
        s.deathOutput = "Exception in thread main: boom\n";
        phone.server().setScript(s);
        try {
            launcher_.launch(ServerOptions(2), *host);
            ADD_FAILURE() << "launched";
        } catch (const ServerError& error) {
            EXPECT_EQ(error.kind(), ServerErrorKind::serverDied);
            EXPECT_THAT(error.serverOutput(), EndsWith("Exception in thread main: boom\n"));
        }
        EXPECT_TRUE(test::eventually([&] { return phone.adb().openStreamCount() == 0; }));
        EXPECT_THAT(phone.violations(), IsEmpty());
        host->close();
    }
}

TEST_F(ServerLauncherTest, SocketThatNeverOpensTimesOutAndStopsTheServer) {
    script([](FakeServerScript& s) { s.refused = {FakeServerSocket::video}; });
    stopTheClock();
    launcher_.connectTimeout = 7ms;
    EXPECT_EQ(launchFails(ServerOptions(3)), ServerError::connectTimeout());
    EXPECT_THAT(clock_.sleeps(), ElementsAre(2ms, 2ms, 2ms, 1ms))
        << "the last try comes at the deadline";
    EXPECT_THAT(closedByHost(1), ElementsAre("shell"));
}

TEST_F(ServerLauncherTest, FailureAfterConnectingClosesSocketsInOpeningOrderThenTheShell) {
    // The server keeps running but drops the video socket before the name block.
    script([](FakeServerScript& s) { s.fault = FakeServerScript::Fault::dropVideoBeforeName; });
    launcher_.exitOutputTimeout = 500ms;  // waited out: the server lives on
    const ServerError error = launchFails(ServerOptions(4));
    EXPECT_EQ(error, ServerError::serverDied(FakeServerScript().startupOutput));
    EXPECT_THAT(closedByHost(3), ElementsAre("audio", "control", "shell"));
}

TEST_F(ServerLauncherTest, MissingExtensionSocketIsLoggedAndLeftOut) {
    script([](FakeServerScript& s) { s.refused = {FakeServerSocket::ext}; });
    stopTheClock();
    launcher_.extConnectTimeout = 10ms;
    ServerConnection connection = launcher_.launch(ServerOptions(5), *host_);
    EXPECT_EQ(connection.ext, nullptr);
    EXPECT_TRUE(logged("server", "ext socket unavailable, continuing without it: "));
    EXPECT_TRUE(logged("server", "server started, 3 sockets"));
    closeAll(connection);
}

TEST_F(ServerLauncherTest, ExtensionHandshakeFailuresThroughTheRealStream) {
    script([](FakeServerScript& s) { s.helloReply = FakeServerScript::HelloReply::error; });
    ServerConnection refused = launcher_.launch(ServerOptions(6), *host_);
    ExtClient client(refused.ext);
    EXPECT_EQ(
        [&] {
            try {
                client.handshake(30s);
            } catch (const ExtClientError& error) {
                return error;
            }
            return ExtClientError::timeout();
        }(),
        ExtClientError::serverError("extension disabled"));
    client.close();
    closeAll(refused);
}

TEST_F(ServerLauncherTest, SilentExtensionTimesOut) {
    script([](FakeServerScript& s) { s.helloReply = FakeServerScript::HelloReply::silence; });
    ServerConnection connection = launcher_.launch(ServerOptions(9), *host_);
    ExtClient client(connection.ext);
    try {
        client.handshake(30ms);
        ADD_FAILURE() << "answered";
    } catch (const ExtClientError& error) {
        EXPECT_EQ(error.kind(), ExtClientErrorKind::timeout);
    }
    client.close();
    closeAll(connection);
}

TEST_F(ServerLauncherTest, JitteredPongsPlaceThePhoneClockWithinHalfTheBestRoundTrip) {
    constexpr std::int64_t offset = 123'456'789'012;
    script([](FakeServerScript& s) {
        s.clockOffsetNanos = offset;
        s.pongDelay = 2ms;
        s.pongJitter = 3ms;
        s.pongClockAt = 0.8;  // the reply's way back is the shorter
        s.videoOnPhoneClock = true;
    });
    const std::uint64_t before = HostClock::nowNanos();
    ServerConnection connection = launcher_.launch(ServerOptions(12), *host_);
    ExtClient ext(connection.ext);
    const ExtHello hello = ext.handshake(30s);
    ClockSync clock;
    for (int i = 0; i < 10; ++i) {
        ext.send(ext::Ping{HostClock::nowNanos()});
        const auto pong = std::get<ext::Pong>(ext.next());
        EXPECT_TRUE(clock.add({pong.clientNanos, pong.phoneMonotonicNanos, HostClock::nowNanos()}));
    }
    ASSERT_TRUE(clock.offsetNanos());
    const std::uint64_t rtt = *clock.bestRTTNanos();
    EXPECT_GE(rtt, 2'000'000u);
    EXPECT_LE(std::abs(*clock.offsetNanos() - offset), static_cast<std::int64_t>(rtt + 1) / 2);

    // The clip on the phone's clock ends as the video socket is served, a second after its start.
    EXPECT_EQ(PacketDemuxer::readCodecID(*connection.video), rawValue(VideoCodec::h264));
    PacketDemuxer::nextEvent(*connection.video);  // the session
    PacketDemuxer::nextEvent(*connection.video);  // the config
    const auto first = std::get<StreamPacket>(PacketDemuxer::nextEvent(*connection.video));
    EXPECT_EQ(PtsClockBase::detect(*first.ptsMicros, hello.phoneMonotonicNanos),
              PtsClockBase::phoneMonotonic());
    const std::optional<std::uint64_t> capture = clock.macNanos(*first.ptsMicros * 1000);
    ASSERT_TRUE(capture);
    EXPECT_GE(*capture + 1'000'000'000 + rtt, before);
    EXPECT_LE(*capture, HostClock::nowNanos());
    ext.close();
    closeAll(connection);
}

TEST_F(ServerLauncherTest, ExtensionFaultsReachTheClientWhileVideoFlows) {
    FakeServerScript faults;
    faults.appListReply = FakeServerScript::AppListReply::late;
    phone_.server().setScript(faults);
    ServerConnection connection = launcher_.launch(ServerOptions(13), *host_);
    ExtClient ext(connection.ext);
    ext.handshake(30s);

    // A late list comes after a later pong; an error text or silence in place of one.
    ext.send(ext::ListApps{false});
    ext.send(ext::Ping{1});
    EXPECT_EQ(std::get<ext::Pong>(ext.next()).clientNanos, 1u);
    EXPECT_EQ(phone_.server().releaseLateAppLists(), 1u);
    EXPECT_EQ(std::get<ext::AppList>(ext.next()).apps.size(), 2u);
    faults.appListReply = FakeServerScript::AppListReply::error;
    phone_.server().setScript(faults);
    ext.send(ext::ListApps{false});
    EXPECT_EQ(ext.next(), ExtMessage(ext::Error{faults.appListErrorText}));
    faults.extSilentAfterHello = true;
    phone_.server().setScript(faults);
    ext.send(ext::ListApps{false});
    ext.send(ext::Ping{2});
    ext.send(ext::SubscribeTelemetry{5});
    ASSERT_TRUE(test::eventually([&] { return phone_.server().extMessages().size() == 7; }));
    phone_.server().sendExt(ext::Error{"still here"});
    EXPECT_EQ(ext.next(), ExtMessage(ext::Error{"still here"}));

    // A malformed frame, then the extension socket closing alone: the video reads on.
    phone_.server().sendMalformedExt();
    EXPECT_THROW(ext.next(), BinaryError);
    EXPECT_TRUE(phone_.server().closeExt());
    EXPECT_THROW(ext.next(), ByteIOError);
    EXPECT_EQ(PacketDemuxer::readCodecID(*connection.video), rawValue(VideoCodec::h264));
    EXPECT_EQ(PacketDemuxer::nextEvent(*connection.video),
              StreamEvent(StreamSession{{1280, 720}, false}));
    EXPECT_TRUE(phone_.server().isRunning());
    ext.close();
    closeAll(connection);
}

TEST_F(ServerLauncherTest, CancelledLaunchClosesWhatItOpened) {
    script([](FakeServerScript& s) { s.refused = {FakeServerSocket::control}; });
    std::stop_source stop;
    std::jthread canceller([&] {
        // Once control is refused, audio's open has returned: a stop during it would abandon
        // that stream first, closing it ahead of video.
        test::eventually([&] { return phone_.server().scriptedRefusals() > 0; });
        stop.request_stop();
    });
    EXPECT_THROW(launcher_.launch(ServerOptions(10), *host_, stop.get_token()), CancellationError);
    EXPECT_THAT(closedByHost(3), ElementsAre("video", "audio", "shell"));
}

TEST_F(ServerLauncherTest, NothingTouchesThePhoneForUnsafeOptionsOrAFailedPush) {
    ServerOptions unsafe(11);
    unsafe.videoCodecOptions = {"bitrate-mode:int=1 && reboot"};
    EXPECT_THROW(launcher_.launch(unsafe, *host_), ServerOptionsError);
    EXPECT_EQ(phone_.adb().services().fileCount(), 0u);

    phone_.adb().services().failPush("/data/local/tmp/quillmere-server.jar",
                                     "Read-only file system");
    try {
        launcher_.launch(ServerOptions(11), *host_);
        ADD_FAILURE() << "launched";
    } catch (const AdbError& error) {
        EXPECT_EQ(error, AdbError::syncFailed("Read-only file system"));
    }
    EXPECT_THAT(phone_.server().startCommands(), IsEmpty());
}

TEST(ServerLauncher, DeviceNameStopsAtTheFirstZeroAndNeverFails) {
    Bytes block(64, 0);
    std::copy_n("Pixel", 5, block.begin());
    EXPECT_EQ(ServerLauncher::decodeDeviceName(block), "Pixel");
    EXPECT_EQ(ServerLauncher::decodeDeviceName(Bytes(64, 0)), "");
    EXPECT_EQ(ServerLauncher::decodeDeviceName(Bytes(64, 'x')), std::string(64, 'x'));
    block[2] = 0xFF;
    EXPECT_EQ(ServerLauncher::decodeDeviceName(block),
              "Pi\xEF\xBF\xBD"
              "el");
}

TEST(ServerLauncher, DiagnosisAndTimeOutsFollowTheServersWords) {
    EXPECT_EQ(ServerLauncher::diagnose("x does not match the client y").kind(),
              ServerErrorKind::versionMismatch);
    EXPECT_EQ(ServerLauncher::diagnose("Does Not Match The Client"),
              ServerError::serverDied("Does Not Match The Client"));
    EXPECT_EQ(ServerLauncher(jar, 50ms, 200ms, 500ms).extConnectTimeout, 200ms);
    EXPECT_EQ(ServerLauncher::displayOffMessage(), Bytes({0x0A, 0x00}));
}

}  // namespace
}  // namespace qm
