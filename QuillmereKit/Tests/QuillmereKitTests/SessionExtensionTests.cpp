// The session's extension channel against the fake phone: its handshake, app lists, clock
// offset and telemetry.
#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "QuillmereCore/HostClock.h"
#include "QuillmereCore/Log.h"
#include "QuillmereCore/MemoryByteChannel.h"
#include "QuillmereKit/Session/Session.h"
#include "Support/FakePhoneSessionTest.h"
#include "Support/FakeServerMedia.h"
#include "Support/GlTestContext.h"
#include "Support/LogSince.h"
#include "Support/ManualTimerSource.h"
#include "Support/VirtualClock.h"
#include "VideoPipeline/View/VideoView.h"

namespace qm::test {
namespace {

using namespace std::chrono_literals;
using Kind = SessionPhase::Kind;

class SessionExtensionTest : public FakePhoneSessionTest {
protected:
    static ServerOptions options(std::uint32_t scid = 0x1234) { return ServerOptions(scid); }
    std::size_t countLog(std::string_view text) const { return log_.count(text); }

    LogSince log_;
};

template <typename T>
std::size_t countOf(const std::vector<ExtMessage>& messages) {
    return std::count_if(messages.begin(), messages.end(),
                         [](const ExtMessage& m) { return std::holds_alternative<T>(m); });
}

std::string errorOf(const GuiTask<std::vector<AppInfo>>& task) {
    return describe(outcomeOf(task).error());
}

TEST_F(SessionExtensionTest, OnlyAnExtensionVersionMismatchEndsTheLaunch) {
    Session& session = connect();
    struct Case {
        FakeServerScript::HelloReply reply;
        std::uint16_t version;
        std::string text;
        SessionPhase phase;
    };
    const std::vector<Case> cases = {
        {FakeServerScript::HelloReply::ack, 3, "",
         SessionPhase::failed(SessionFailure::versionMismatch())},
        {FakeServerScript::HelloReply::error, 2, "ext protocol mismatch: server 3",
         SessionPhase::failed(SessionFailure::versionMismatch())},
        {FakeServerScript::HelloReply::error, 2, "extension disabled", SessionPhase::streaming()},
    };
    for (const Case& each : cases) {
        FakeServerScript script = script_;
        script.helloReply = each.reply;
        script.extVersion = each.version;
        script.extErrorText = each.text;
        server().setScript(script);
        const std::size_t mismatches = countLog("ext protocol mismatch: ");
        settle(session.start(std::nullopt, options()));
        EXPECT_EQ(session.phase(), each.phase) << each.text;
        EXPECT_EQ(countLog("ext protocol mismatch: "),
                  mismatches + (each.phase.kind() == Kind::failed ? 1 : 0));
        EXPECT_EQ(errorOf(session.fetchApps(false)), "disconnected");
    }
}

TEST_F(SessionExtensionTest, ASilentExtensionHandshakeTimesOutAndTheVideoPlaysOn) {
    script_.helloReply = FakeServerScript::HelloReply::silence;
    SessionEnvironment environment;
    environment.extHandshakeTimeout = 20ms;
    Session& session = connect(std::move(environment));
    settle(session.start(std::nullopt, options()));
    EXPECT_EQ(session.phase(), SessionPhase::streaming());
    EXPECT_TRUE(framesArrive(10));
    EXPECT_EQ(countLog("ext unavailable, streaming without it"), 1u);
    EXPECT_FALSE(session.stats().telemetry);
    EXPECT_FALSE(session.flashClock());
}

TEST_F(SessionExtensionTest,
       AppListsAnswerTheirCallsInOrderThroughTimeOutsErrorsAndTheChannelsEnd) {
    script_.pacedVideo = script_.loopVideo = true;
    script_.appListReply = FakeServerScript::AppListReply::late;
    Session& session = connect();
    std::vector<ExtMessage> heard;
    session.addExtObserver([&](const ExtMessage& message) { heard.push_back(message); });
    settle(session.start(std::nullopt, options()));
    const auto script = [&](FakeServerScript::AppListReply reply) {
        FakeServerScript next = script_;
        next.appListReply = reply;
        server().setScript(next);
    };

    // The first call times out; the answer to it, late, must not reach the second call.
    const auto timedOut = session.fetchApps(false);
    ASSERT_TRUE(until([&] { return countOf<ext::ListApps>(server().extMessages()) == 1; }));
    timers_->advance(10s);
    EXPECT_EQ(errorOf(timedOut), R"(serverFailed("fetchApps timed out waiting for APP_LIST"))");
    script(FakeServerScript::AppListReply::answer);
    const auto second = session.fetchApps(true);
    ASSERT_TRUE(until([&] { return countOf<ext::AppList>(heard) == 1; }));
    EXPECT_FALSE(second.isSettled());
    EXPECT_EQ(server().releaseLateAppLists(), 1u);
    EXPECT_EQ(outcomeOf(second).get(), fakeApps());
    EXPECT_EQ(server().extMessages().back(), ExtMessage(ext::ListApps{true}));

    // The phone's error fails the oldest call only; other errors fail none.
    script(FakeServerScript::AppListReply::error);
    const auto refused = session.fetchApps(false);
    ASSERT_TRUE(until([&] { return countOf<ext::ListApps>(server().extMessages()) == 3; }));
    script(FakeServerScript::AppListReply::never);
    const auto third = session.fetchApps(false);
    const auto fourth = session.fetchApps(false);
    EXPECT_EQ(errorOf(refused), R"(serverFailed("list apps failed: package service unavailable"))");
    ASSERT_TRUE(server().sendExt(ext::Error{"camera busy"}));
    ASSERT_TRUE(until([&] { return countOf<ext::Error>(heard) == 2; }));
    EXPECT_FALSE(third.isSettled());

    // The channel's end fails every call; the video plays on.
    ASSERT_TRUE(server().closeExt());
    EXPECT_EQ(errorOf(third), "disconnected");
    EXPECT_EQ(errorOf(fourth), "disconnected");
    EXPECT_EQ(errorOf(session.fetchApps(false)), "disconnected");
    EXPECT_TRUE(framesArrive(5));
    EXPECT_EQ(session.phase(), SessionPhase::streaming());
}

TEST_F(SessionExtensionTest, TheClockOffsetIsWithinHalfTheBestRoundTripUnderJitter) {
    script_.clockOffsetNanos = 7'000'000'000'000;  // the phone booted long before us
    script_.pongDelay = 1ms;
    script_.pongJitter = 4ms;
    Session& session = connect();
    std::vector<std::uint64_t> roundTrips;  // each at least its true length
    session.addExtObserver([&](const ExtMessage& message) {
        if (const auto* pong = std::get_if<ext::Pong>(&message)) {
            roundTrips.push_back(HostClock::nowNanos() - pong->clientNanos);
        }
    });
    settle(session.start(std::nullopt, options()));
    for (int i = 0; i < 4; ++i) {
        timers_->advance(100ms);
    }
    ASSERT_TRUE(until([&] { return roundTrips.size() == 5; }));
    EXPECT_EQ(countOf<ext::Ping>(server().extMessages()), 5u);
    timers_->advance(2099ms);  // the burst's last wait, then the steady one
    EXPECT_EQ(countOf<ext::Ping>(server().extMessages()), 5u);
    timers_->advance(1ms);
    EXPECT_TRUE(until([&] { return countOf<ext::Ping>(server().extMessages()) == 6; }));

    const std::optional<FlashClock> clock = session.flashClock();
    ASSERT_TRUE(clock);
    const auto best =
        static_cast<std::int64_t>(*std::min_element(roundTrips.begin(), roundTrips.end()));
    EXPECT_LE(std::abs(clock->offsetNanos - script_.clockOffsetNanos), best / 2 + 1);
}

TEST_F(SessionExtensionTest, TelemetryAndLatencyArePublishedUntilTheChannelGoes) {
    script_.pacedVideo = script_.loopVideo = true;
    script_.videoOnPhoneClock = true;
    script_.clockOffsetNanos = 3'000'000'000'000;
    SessionEnvironment environment;
    // Drawing on a thread of its own, which the renderer is let go on.
    environment.renderQueue = std::make_shared<SerialQueue>("render");
    Session& session = connect(std::move(environment));
    GlTestContext gl;
    VideoView view;
    session.attach(&view);
    view.videoLayer()->setDrawableSize({64, 36});
    std::size_t presented = 0;
    session.addPresentObserver([&](std::int64_t, std::uint64_t, std::uint64_t) { ++presented; });
    // Plays the display: whatever was drawn reaches the screen now.
    const auto showFrames = [&](std::size_t count) {
        const std::size_t from = presented;
        return until([&] {
            gl.makeCurrent();
            if (view.videoLayer()->latchForDisplay()) {
                view.videoLayer()->frameDisplayed(HostClock::nowNanos());
            }
            return presented >= from + count;
        });
    };
    settle(session.start(std::nullopt, options()));

    ASSERT_TRUE(until([&] { return session.stats().telemetry.has_value(); }));
    EXPECT_EQ(*session.stats().telemetry, script_.telemetry);
    EXPECT_GE(countLog("encoder: p50 4.2 ms p90 6.1 max 9.8, 60 fps, 8.5 kB/frame, cpu 41.5 °C"),
              1u);
    ASSERT_TRUE(showFrames(5));
    timers_->advance(1s);
    const SessionStats withChannel = session.stats();
    ASSERT_TRUE(withChannel.latencyMillis && withChannel.phoneMillis && withChannel.macMillis);
    EXPECT_GT(*withChannel.latencyMillis, 0);
    EXPECT_LT(*withChannel.latencyMillis, 5000);
    EXPECT_EQ(countLog("latency: "), 1u);
    EXPECT_EQ(countLog("pts clock base: phoneMonotonic"), 1u);

    // A frame that makes no sense closes the channel; the video plays on.
    ASSERT_TRUE(server().sendMalformedExt());
    ASSERT_TRUE(until([&] { return countLog("ext channel down") == 1; }));
    EXPECT_EQ(countLog("ext protocol error, closing the channel"), 1u);
    ASSERT_TRUE(showFrames(2));
    timers_->advance(1s);
    EXPECT_FALSE(session.stats().latencyMillis || session.stats().phoneMillis ||
                 session.stats().macMillis);
    EXPECT_EQ(countLog("latency: "), 1u);
    EXPECT_EQ(session.phase(), SessionPhase::streaming());

    // The rate once a second of frames shown, where the info level shows it.
    const auto since = std::chrono::system_clock::now();
    const auto rateLines = [&] {
        const std::vector<LogEntry> entries = Log::recentEntries();
        return std::count_if(entries.begin(), entries.end(), [&](const LogEntry& entry) {
            return entry.time >= since && entry.category == "session" &&
                   entry.level == spdlog::level::info && entry.message.starts_with("fps ") &&
                   entry.message.find(" dropped ") != std::string::npos;
        });
    };
    std::uint64_t shownAt = HostClock::nowNanos();
    EXPECT_TRUE(until([&] {
        gl.makeCurrent();
        if (view.videoLayer()->latchForDisplay()) {
            shownAt += 20'000'000;
            view.videoLayer()->frameDisplayed(shownAt);
        }
        return rateLines() > 0;
    }));
}

TEST(SessionExtStateTest, ResetClosesTheClientFailsEveryCallAndKeepsThePresentHook) {
    QObject context;
    auto channel = std::make_shared<MemoryByteChannel>();
    auto client = std::make_shared<ExtClient>(channel);
    SessionExtState state;
    state.client = client;  // the reader holds it too
    state.presentHookInstalled = true;
    std::vector<GuiTask<std::vector<AppInfo>>> calls(2, GuiTask<std::vector<AppInfo>>(&context));
    for (const auto& call : calls) {
        state.appListWaiters.push_back({UUID::random(), call, nullptr});
    }
    state.appListWaiters.push_back({UUID::random(), std::nullopt, nullptr});  // timed out

    state.reset();
    EXPECT_TRUE(client->isClosed());
    EXPECT_FALSE(state.client);
    EXPECT_TRUE(state.presentHookInstalled);
    EXPECT_TRUE(state.appListWaiters.empty());
    for (const auto& call : calls) {
        EXPECT_EQ(errorOf(call), "disconnected");
    }
}

}  // namespace
}  // namespace qm::test
