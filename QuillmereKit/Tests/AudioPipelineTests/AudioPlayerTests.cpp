#include <algorithm>
#include <cmath>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "AudioFrames.h"
#include "AudioPipeline/AudioPlayer.h"
#include "AudioPipeline/AudioPlayerError.h"
#include "FakeAudioDevice.h"
#include "QuillmereCore/Log.h"
#include "Support/Expect.h"
#include "Support/VirtualClock.h"
#include "Support/Waiting.h"

namespace qm {
namespace {

using test::isSilent;
using test::playsFrames;
using test::stereoFrames;

StreamPacket audio(Bytes pcm) {
    return {StreamPacket::Kind::frame, 0, std::move(pcm)};
}

long audioLines(const std::string& line) {
    const auto entries = Log::recentEntries();
    return std::count_if(entries.begin(), entries.end(), [&](const LogEntry& entry) {
        return entry.category == "audio" && entry.message == line;
    });
}

class AudioPlayerTest : public testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(device->violations(), std::vector<std::string>{}); }

    // The session's configuration; time stands still until a test moves it.
    test::VirtualClock clock{0, 0};
    std::unique_ptr<test::FakeAudioDevice> owned = std::make_unique<test::FakeAudioDevice>();
    test::FakeAudioDevice* device = owned.get();
    AudioPlayer player{48000, 2, 40, std::move(owned), clock.taskClock()};
};

TEST(AudioPlayer, RefusesFormatsWithoutAnOutput) {
    struct Case {
        double rate;
        int channels;
        bool supported;
    };
    for (const Case& c :
         {Case{0.5, 2, false}, Case{NAN, 2, false}, Case{3e9, 2, false}, Case{48000, 0, false},
          Case{48000, 9, false}, Case{1, 1, true}, Case{44100.9, 8, true}}) {
        SCOPED_TRACE(testing::Message() << c.rate << " Hz, " << c.channels << " channels");
        auto make = [&] {
            AudioPlayer player(c.rate, c.channels, 40, std::make_unique<test::FakeAudioDevice>());
        };
        if (c.supported) {
            EXPECT_NO_THROW(make());
        } else {
            EXPECT_EQ(test::thrown<AudioPlayerError>(make).kind(),
                      AudioPlayerError::Kind::unsupportedFormat);
        }
    }
}

TEST_F(AudioPlayerTest, PlaysHalfASecondRingFrom40MillisecondsAndMutesWithoutStalling) {
    player.enqueue({StreamPacket::Kind::config, std::nullopt, Bytes(4000, 1)});
    player.enqueue(audio(stereoFrames(1919)));
    device->plugIn();  // before start: nothing to reopen
    player.start();
    player.start();
    EXPECT_EQ(device->opens(), 1);
    EXPECT_EQ(device->sampleRate(), 48000);
    EXPECT_EQ(device->channels(), 2);
    EXPECT_TRUE(isSilent(device->pull(512), 0, 512));
    player.enqueue(audio(stereoFrames(1, 1919)));
    EXPECT_TRUE(playsFrames(device->pull(512), 0, 0, 512));

    // 1408 buffered and 25000 more: the ring keeps the newest 24000.
    player.enqueue(audio(stereoFrames(25000, 1920)));
    EXPECT_EQ(player.bufferedFrames(), 24000);
    EXPECT_EQ(player.droppedFrames(), 1408 + 1000);

    player.setMuted(true);
    EXPECT_TRUE(player.isMuted());
    EXPECT_TRUE(isSilent(device->pull(512), 0, 512));
    EXPECT_EQ(player.bufferedFrames(), 24000 - 512);
    player.setMuted(false);
    EXPECT_TRUE(playsFrames(device->pull(512), 0, 2920 + 512, 512));
    EXPECT_EQ(player.underruns(), 0);
}

TEST_F(AudioPlayerTest, StopLogsTheCountersAndThenIgnoresStartsAndLostDevices) {
    player.enqueue(audio(stereoFrames(1920)));
    player.start();
    EXPECT_TRUE(playsFrames(device->pull(1920), 0, 0, 1920));
    EXPECT_TRUE(isSilent(device->pull(512), 0, 512));
    player.enqueue(audio(stereoFrames(30000)));

    const std::string stopped = "audio stopped: underruns 1, dropped frames 6000";
    const long before = audioLines(stopped);
    player.stop();
    EXPECT_EQ(audioLines(stopped), before + 1);
    EXPECT_EQ(player.underruns(), 0);
    EXPECT_EQ(player.bufferedFrames(), 0);
    EXPECT_EQ(player.droppedFrames(), 6000);
    EXPECT_FALSE(device->isOpen());

    player.enqueue(audio(stereoFrames(2000)));
    device->plugIn();
    player.start();  // also waits for the engine queue to pass the new output
    EXPECT_EQ(device->opens(), 1);
    EXPECT_FALSE(device->isOpen());
    EXPECT_EQ(player.bufferedFrames(), 2000);
}

TEST_F(AudioPlayerTest, ALostDeviceIsReopenedEmptyAndAFailedReopenWaitsForAnOutputToAppear) {
    const std::string back = "audio output is back after a failed restart";
    const long backBefore = audioLines(back);
    player.enqueue(audio(stereoFrames(3000)));
    player.start();
    EXPECT_TRUE(playsFrames(device->pull(512), 0, 0, 512));

    device->lose();
    ASSERT_TRUE(test::eventually([&] { return device->opens() == 2; }));
    EXPECT_TRUE(device->isOpen());
    EXPECT_EQ(player.bufferedFrames(), 0);
    player.enqueue(audio(stereoFrames(1919, 3000)));
    EXPECT_TRUE(isSilent(device->pull(512), 0, 512));

    const std::string failed =
        "audio engine restart after configuration change failed: no sound server";
    const long before = audioLines(failed);
    device->failOpens("no sound server");
    device->lose();
    EXPECT_TRUE(test::eventually([&] { return audioLines(failed) > before; }));
    EXPECT_FALSE(device->isOpen());

    device->failOpens("");
    device->plugIn();
    ASSERT_TRUE(test::eventually([&] { return device->isOpen(); }));
    EXPECT_EQ(device->opens(), 4);
    // Said once, for the reopen that ended the silence.
    EXPECT_TRUE(test::eventually([&] { return audioLines(back) == backBefore + 1; }));
    player.enqueue(audio(stereoFrames(1920, 4919)));
    EXPECT_TRUE(playsFrames(device->pull(512), 0, 4919, 512));
}

// A restarted sound server announces no output: the player reconnects on its own schedule, says
// so once when it worked, and starts the schedule over at the next silence.
TEST_F(AudioPlayerTest, SoundComesBackAfterTheSoundServerRestarts) {
    using namespace std::chrono_literals;
    using Sleeps = std::vector<std::chrono::nanoseconds>;
    const std::string back = "audio output is back after a failed restart";
    const std::string failed =
        "audio engine restart after configuration change failed: connection to the sound server "
        "ended";
    const std::string retryFailed =
        "audio engine restart after configuration change failed: no sound server";
    const long backBefore = audioLines(back);
    const long failedBefore = audioLines(failed);
    const long retryFailedBefore = audioLines(retryFailed);
    player.start();

    device->stopServer();
    ASSERT_TRUE(test::eventually([&] { return clock.parked(); }));
    EXPECT_FALSE(device->isOpen());
    clock.parkAt(std::uint64_t(3500ms / 1ns));  // three retries while no server runs
    ASSERT_TRUE(test::eventually([&] { return clock.sleeps().size() == 4 && clock.parked(); }));
    EXPECT_EQ(device->reconnects(), 3);
    EXPECT_EQ(audioLines(failed), failedBefore + 1) << "once per silence";
    EXPECT_EQ(audioLines(retryFailed), retryFailedBefore);

    device->startServer();
    clock.parkAt(std::uint64_t(7500ms / 1ns));
    ASSERT_TRUE(test::eventually([&] { return device->isOpen(); }));
    EXPECT_TRUE(test::eventually([&] { return audioLines(back) == backBefore + 1; }));
    player.enqueue(audio(stereoFrames(1920)));
    EXPECT_TRUE(playsFrames(device->pull(512), 0, 0, 512));

    device->stopServer();
    ASSERT_TRUE(test::eventually([&] { return clock.sleeps().size() == 5 && clock.parked(); }));
    EXPECT_EQ(clock.sleeps(), (Sleeps{500ms, 1s, 2s, 4s, 500ms}));
    device->startServer();
    clock.parkAt(std::uint64_t(8000ms / 1ns));
    ASSERT_TRUE(test::eventually([&] { return device->isOpen(); }));
    EXPECT_TRUE(test::eventually([&] { return audioLines(back) == backBefore + 2; }));
    player.stop();
    EXPECT_FALSE(device->isOpen());
}

TEST(AudioPlayer, RetriesGoOnEvery8SecondsHoweverLongTheSilence) {
    using namespace std::chrono_literals;
    EXPECT_EQ(AudioPlayer::retryDelay(4), 8s);
    EXPECT_EQ(AudioPlayer::retryDelay(1000), 8s);
}

TEST_F(AudioPlayerTest, StartPassesOnTheDeviceFailure) {
    device->failOpens("Audio device has no output");
    const auto error = test::thrown<AudioPlayerError>([&] { player.start(); });
    EXPECT_EQ(error.kind(), AudioPlayerError::Kind::device);
    EXPECT_EQ(error.message(), "Audio device has no output");
    EXPECT_EQ(error.caseText(), "device(\"Audio device has no output\")");
}

}  // namespace
}  // namespace qm
