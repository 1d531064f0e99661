#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <SDL.h>
#include <alsa/asoundlib.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "AudioPipeline/AudioPlayer.h"
#include "AudioPipeline/SdlAudioDevice.h"
#include "QuillmereCore/Log.h"
#include "Support/MediaFixtures.h"
#include "Support/Waiting.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

// SDL's disk driver writes what the device pulls to a file, a millisecond per block: the real
// SDL path end to end, without a speaker.
TEST(SdlAudioDevice, PlaysEnqueuedPcmBitExactThroughTheDiskDriver) {
    const fs::path file = fs::temp_directory_path() / ("qm-audio-" + std::to_string(::getpid()));
    // Over the suite's dummy driver, before SDL starts.
    ::setenv("SDL_AUDIODRIVER", "disk", 1);
    ::setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
    ::setenv("SDL_DISKAUDIODELAY", "1", 1);

    // 100 ms of a 440 Hz stereo sine that starts off zero, the right channel at half level.
    constexpr int frames = 4800;
    Bytes pcm;
    std::vector<float> expected;
    for (int i = 0; i < frames; ++i) {
        const double wave = std::sin(1.0 + 2 * M_PI * 440 * i / 48000.0);
        for (const auto sample :
             {std::int16_t(std::lround(wave * 20000)), std::int16_t(std::lround(wave * 10000))}) {
            pcm.push_back(std::uint8_t(sample & 0xFF));
            pcm.push_back(std::uint8_t((sample >> 8) & 0xFF));
            expected.push_back(float(sample) / 32768.0f);
        }
    }
    {
        auto device = std::make_unique<SdlAudioDevice>();
        device->reconnect();  // the disk driver, whichever an earlier test of the process started
        AudioPlayer player(48000, 2, 40, std::move(device));
        player.enqueue({StreamPacket::Kind::frame, 0, pcm});
        player.start();
        ASSERT_TRUE(test::eventually([&] { return player.bufferedFrames() == 0; }));
        // Closing waits for the block under way, so the file holds everything pulled.
        player.stop();
    }
    const Bytes written = test::loadFile(file.string());
    fs::remove(file);

    std::vector<float> played(written.size() / sizeof(float));
    std::memcpy(played.data(), written.data(), played.size() * sizeof(float));
    const auto first = std::find_if(played.begin(), played.end(), [](float s) { return s != 0; });
    const auto leading = std::size_t(first - played.begin());
    EXPECT_EQ(leading % 2, 0u) << "the silence before the sine ends mid-frame";
    ASSERT_GE(played.size() - leading, expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), first));
}

// SDL's own events through its own watch list, as its audio backends post them: an addition names
// an index into the device list, a removal the open device's id.
// The dummy driver plays on any machine, one without a sound card too.
TEST(SdlAudioDevice, ReportsTheOpenDeviceLostAndThenAnOutputPluggedIn) {
    const fs::path file = fs::temp_directory_path() / ("qm-audio-" + std::to_string(::getpid()));
    ::setenv("SDL_AUDIODRIVER", "dummy", 1);
    ::setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);  // in case an earlier test started the disk one
    SdlAudioDevice device;
    std::atomic<int> changes = 0;
    device.setChangeHandler([&] { ++changes; });
    const auto post = [](Uint32 type, Uint32 which, bool capture) {
        SDL_Event event{};
        event.adevice.type = type;
        event.adevice.which = which;
        event.adevice.iscapture = capture ? 1 : 0;
        ASSERT_EQ(SDL_PushEvent(&event), 1) << SDL_GetError();
    };

    device.open(48000, 2, [](float* into, int frames) { std::fill_n(into, frames * 2, 0.0f); });
    SDL_AudioDeviceID open = 2;
    while (open < 64 && SDL_GetAudioDeviceStatus(open) != SDL_AUDIO_PLAYING) {
        ++open;
    }
    ASSERT_LT(open, 64u);
    post(SDL_AUDIODEVICEADDED, 0, false);  // another output: the open one plays on
    post(SDL_AUDIODEVICEREMOVED, open + 1, false);
    post(SDL_AUDIODEVICEREMOVED, open, true);
    EXPECT_EQ(changes.load(), 0);
    post(SDL_AUDIODEVICEREMOVED, open, false);
    EXPECT_EQ(changes.load(), 1);

    // The reopen found nothing: the next output to appear is the one to try.
    device.close();
    post(SDL_AUDIODEVICEADDED, 0, true);
    EXPECT_EQ(changes.load(), 1);
    post(SDL_AUDIODEVICEADDED, 0, false);
    EXPECT_EQ(changes.load(), 2);

    // SDL's audio started afresh, as after a sound server's restart: the outputs it finds are no
    // news, and the device opens and is watched as before.
    device.reconnect();
    EXPECT_EQ(changes.load(), 2);
    device.open(48000, 2, [](float* into, int frames) { std::fill_n(into, frames * 2, 0.0f); });
    open = 2;
    while (open < 64 && SDL_GetAudioDeviceStatus(open) != SDL_AUDIO_PLAYING) {
        ++open;
    }
    ASSERT_LT(open, 64u);
    post(SDL_AUDIODEVICEREMOVED, open, false);
    EXPECT_EQ(changes.load(), 3);
    device.close();
    fs::remove(file);
}

TEST(SdlAudioDevice, LeavesTheTerminationSignalsAloneAndSdlStartedForTheNextStream) {
    {
        const SdlAudioDevice device;
        for (const int signal : {SIGINT, SIGTERM}) {
            struct sigaction action {};
            ::sigaction(signal, nullptr, &action);
            EXPECT_EQ(action.sa_handler, SIG_DFL) << signal;
        }
    }
    EXPECT_NE(SDL_WasInit(SDL_INIT_AUDIO), 0u);
}

// With no sound server SDL falls back to ALSA, whose complaints belong in the log, not on the
// user's terminal.
TEST(SdlAudioDevice, LibasoundsOwnLinesGoToTheLogNotToTheTerminal) {
    Log::audio().set_level(spdlog::level::debug);
    const SdlAudioDevice device;
    ::testing::internal::CaptureStderr();
    snd_pcm_t* pcm = nullptr;
    EXPECT_LT(snd_pcm_open(&pcm, "qm-no-such-device", SND_PCM_STREAM_PLAYBACK, 0), 0);
    const std::string printed = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(printed.find("ALSA lib"), std::string::npos) << printed;
    const std::vector<LogEntry> entries = Log::recentEntries();
    EXPECT_TRUE(std::any_of(entries.begin(), entries.end(), [](const LogEntry& entry) {
        return entry.category == "audio" && entry.level == spdlog::level::debug &&
               entry.message.find("ALSA lib") == 0 &&
               entry.message.find("qm-no-such-device") != std::string::npos;
    }));
}

}  // namespace
}  // namespace qm
