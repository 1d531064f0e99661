// The session's smaller parts on their own: the view it attaches to, its waits, its control
// socket, the recorder's box and the server's log lines.
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "DeviceLink/USB/UsbError.h"
#include "QuillmereCore/MemoryByteChannel.h"
#include "QuillmereKit/Session/ServerLogLines.h"
#include "QuillmereKit/Session/Session.h"
#include "Support/FakePhoneSessionTest.h"
#include "Support/GlTestContext.h"
#include "Support/ManualTimerSource.h"
#include "Support/MediaPackets.h"
#include "VideoPipeline/View/VideoView.h"

namespace qm::test {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using Kind = SessionPhase::Kind;

TEST(SessionViewTest, OnlyTheAttachedSessionHearsTheViewAndGetsItsGeometryAtOnce) {
    GlTestContext gl;
    VideoView view;
    view.setSize({800, 600});
    const auto makeSession = [] {
        return std::make_unique<Session>(
            [](const ServerOptions&, std::stop_token) -> ServerConnection {
                throw SessionFailure::disconnected();
            });
    };
    auto replaced = makeSession();
    replaced->attach(&view);
    view.setVideoSize({1280, 720});
    ASSERT_TRUE(replaced->videoGeometry());

    const auto next = makeSession();
    next->attach(&view);
    EXPECT_EQ(next->videoGeometry(), view.lastGeometry());
    replaced.reset();
    view.setVideoSize({720, 1280});
    ASSERT_TRUE(next->videoGeometry());
    EXPECT_EQ(next->videoGeometry(), view.lastGeometry());
}

TEST(RecorderBoxTest, OnlyTheCurrentStreamsAudioReaderSaysWhetherSoundFlows) {
    RecorderBox box;
    const std::uint64_t ended = box.audioTicket();
    box.setAudioFlowing(ended, true);
    EXPECT_TRUE(box.audioFlowing());
    box.endAudio();
    EXPECT_FALSE(box.audioFlowing());
    box.setAudioFlowing(ended, true);  // a reader that outlived its stream's teardown
    EXPECT_FALSE(box.audioFlowing());
    box.setAudioFlowing(box.audioTicket(), true);
    box.setAudioFlowing(ended, false);
    EXPECT_TRUE(box.audioFlowing());
}

TEST(SessionWaitTest, WaitWhileEndsWithTheConditionOrFailsAfterTheTimeOut) {
    auto timers = std::make_shared<ManualTimerSource>();
    SessionEnvironment environment;
    environment.timers = timers;
    environment.now = [timers] { return SessionEnvironment::Instant(timers->now()); };
    Session session(
        [](const ServerOptions&, std::stop_token) -> ServerConnection {
            throw SessionFailure::disconnected();
        },
        environment);
    const auto isIdle = [](const SessionPhase& phase) { return phase.kind() == Kind::idle; };

    const GuiTask<void> done = session.waitWhile(30s, 100ms, [](const auto&) { return false; });
    EXPECT_TRUE(done.isSettled());
    EXPECT_EQ(timers->pending(), 0u);

    const GuiTask<void> waiting = session.waitWhile(30s, 100ms, isIdle);
    timers->advance(29900ms);
    EXPECT_FALSE(waiting.isSettled());
    timers->advance(100ms);
    ASSERT_TRUE(waiting.isSettled());
    EXPECT_EQ(describe(outcomeOf(waiting).error()),
              R"(serverFailed("the phone did not respond within 30.0 seconds"))");
}

TEST(SessionWaitTest, TheAppsSessionsWaitOnTimersThatNeverFireEarly) {
    const Session session([](const ServerOptions&, std::stop_token) -> ServerConnection {
        throw SessionFailure::disconnected();
    });
    // Qt's coarse timers fire up to 5% early: a reconnection would wait 476 ms of its 500.
    const auto* timers = dynamic_cast<const QtTimerSource*>(&session.timers());
    ASSERT_NE(timers, nullptr);
    EXPECT_EQ(timers->type(), Qt::PreciseTimer);
}

// Whatever a failed control write throws (a pulled cable's USB error too), the stream is lost
// and waited for, never given up.
TEST(SessionControlTest, AnyFailedControlWriteLosesTheStreamForARestart) {
    struct CutControl final : ByteChannel {
        MemoryByteChannel input;  // the phone says nothing
        void write(ByteView) override { throw UsbError::notFound(); }
        void close() noexcept override { input.close(); }

    protected:
        void readInto(std::span<std::uint8_t> into, std::stop_token stop) override {
            input.readExactly(into, std::move(stop));
        }
    };
    SessionEnvironment environment;
    environment.renderQueue = std::make_shared<FrameCounter>();
    Session session(
        [](const ServerOptions&, std::stop_token) {
            auto video = std::make_shared<MemoryByteChannel>();
            BinaryWriter codec;
            writeCodecID(codec, rawValue(VideoCodec::h264));
            video->feed(codec.take());
            ServerConnection server;
            server.video = video;
            server.control = std::make_shared<CutControl>();
            server.serverLog =
                std::make_shared<ServerLogChannel>(std::make_shared<MemoryByteChannel>());
            return server;
        },
        environment);
    ServerOptions options(1);
    options.audio = false;
    settle(session.start(std::nullopt, options));
    ASSERT_EQ(session.phase(), SessionPhase::streaming());

    session.input().setMode(InputMode::keyboardMouse);
    session.input().handle(KeyDownEvent{0, {}, false});
    EXPECT_TRUE(until([&] { return session.phase() == SessionPhase::waitingForDevice(); }));
    settle(session.stop());
}

TEST(ServerLogLinesTest, LinesEndAtLineFeedsAndLongOnesArePiecesCutBetweenCharacters) {
    const auto logged = [](const std::string& output) {
        ServerLogLines lines;
        std::vector<std::string> out;
        for (const char c : output) {
            if (auto line = lines.push(static_cast<std::uint8_t>(c))) {
                out.push_back(std::move(*line));
            }
        }
        return out;
    };
    const std::size_t limit = ServerLogLines::maxLineBytes;
    EXPECT_THAT(logged("a\nb"), ElementsAre("a"));
    EXPECT_THAT(logged("x\r\n\xff\n"), ElementsAre("x\r", "\xEF\xBF\xBD"));
    // "é" would straddle the limit: it opens the next piece instead.
    const std::string ascii(limit - 1, 'a');
    EXPECT_THAT(logged(ascii + "é" + "z\n"), ElementsAre(ascii, "éz"));
    const std::string full(limit, 'b');
    EXPECT_THAT(logged(full + full + "c"), ElementsAre(full, full));
}

}  // namespace
}  // namespace qm::test
