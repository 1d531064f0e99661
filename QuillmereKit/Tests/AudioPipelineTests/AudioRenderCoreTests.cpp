#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "AudioFrames.h"
#include "AudioPipeline/AudioRenderCore.h"

namespace qm {
namespace {

using test::isSilent;
using test::playsFrames;
using test::stereoFrames;

constexpr std::uint64_t ms = 1'000'000;

// The player's configuration: half a second at 48 kHz stereo, 40 ms target.
AudioRenderCore playerCore() {
    return AudioRenderCore(24000, 2, 1920);
}

std::vector<float> render(AudioRenderCore& core, int frames) {
    std::vector<float> block(std::size_t(frames) * std::size_t(core.channels()), NAN);
    core.render(frames, block.data());
    return block;
}

TEST(AudioRenderCore, PlaysOnlyOnceTheTargetIsBufferedAndWaitsAgainAfterAnUnderrun) {
    AudioRenderCore core = playerCore();
    EXPECT_TRUE(isSilent(render(core, 512), 0, 512));
    core.write(stereoFrames(1919), 0);
    EXPECT_TRUE(isSilent(render(core, 512), 0, 512));
    EXPECT_EQ(core.bufferedFrames(), 1919);
    core.write(stereoFrames(1, 1919), 0);
    EXPECT_TRUE(playsFrames(render(core, 512), 0, 0, 512));
    EXPECT_EQ(core.underruns(), 0);

    // 300 left for a block of 512: they play, the rest is silence, and playing waits for the
    // target again.
    EXPECT_TRUE(playsFrames(render(core, 1108), 0, 512, 1108));
    const std::vector<float> dry = render(core, 512);
    EXPECT_TRUE(playsFrames(dry, 0, 1620, 300));
    EXPECT_TRUE(isSilent(dry, 300, 512));
    EXPECT_EQ(core.underruns(), 1);
    core.write(stereoFrames(1919, 1920), 0);
    EXPECT_TRUE(isSilent(render(core, 512), 0, 512));
    core.write(stereoFrames(1, 3839), 0);
    // Blocks beyond one chunk come out whole.
    EXPECT_TRUE(playsFrames(render(core, 1920), 0, 1920, 1920));
    EXPECT_EQ(core.underruns(), 1);

    // A target the ring cannot hold would never play.
    AudioRenderCore small(100, 2, 500);
    small.write(stereoFrames(100), 0);
    EXPECT_TRUE(playsFrames(render(small, 100), 0, 0, 100));
}

TEST(AudioRenderCore, OverflowKeepsTheNewestFrames) {
    struct Case {
        int buffered;
        int packet;
        int dropped;
        int firstKept;
    };
    for (const Case& c : {Case{0, 25000, 1000, 1000}, Case{23000, 2000, 1000, 1000},
                          Case{24000, 60000, 60000, 60000}}) {
        SCOPED_TRACE(testing::Message() << c.buffered << " + " << c.packet);
        AudioRenderCore core = playerCore();
        core.write(stereoFrames(c.buffered), 0);
        core.write(stereoFrames(c.packet, c.buffered), 0);
        EXPECT_EQ(core.droppedFrames(), c.dropped);
        EXPECT_EQ(core.bufferedFrames(), 24000);
        EXPECT_TRUE(playsFrames(render(core, 4096), 0, c.firstKept, 4096));
    }
}

TEST(AudioRenderCore, TrimsToTheTargetOnlyAfterTwiceTheTargetHeldFor200Milliseconds) {
    AudioRenderCore core = playerCore();
    core.write(stereoFrames(4000), 0);
    core.write(stereoFrames(10, 4000), 199 * ms);
    EXPECT_EQ(core.bufferedFrames(), 4010);
    core.write(stereoFrames(10, 4010), 200 * ms);
    EXPECT_EQ(core.bufferedFrames(), 1920);
    EXPECT_EQ(core.droppedFrames(), 4020 - 1920);
    EXPECT_TRUE(playsFrames(render(core, 1920), 0, 4020 - 1920, 1920));

    // Falling back to the limit restarts the hold.
    AudioRenderCore dipping = playerCore();
    dipping.write(stereoFrames(3841), 0);
    render(dipping, 1);
    dipping.write({}, 150 * ms);
    dipping.write(stereoFrames(1, 3841), 250 * ms);
    EXPECT_EQ(dipping.bufferedFrames(), 3841);
    dipping.write({}, 449 * ms);
    EXPECT_EQ(dipping.bufferedFrames(), 3841);
    dipping.write({}, 450 * ms);
    EXPECT_EQ(dipping.bufferedFrames(), 1920);

    // A clock that steps back counts as no time passed, not as an age.
    AudioRenderCore stepBack = playerCore();
    stepBack.write(stereoFrames(4000), 500 * ms);
    stepBack.write({}, 100 * ms);
    EXPECT_EQ(stepBack.bufferedFrames(), 4000);

    AudioRenderCore atLimit = playerCore();
    atLimit.write(stereoFrames(3840), 0);
    atLimit.write({}, 300 * ms);
    atLimit.write({}, 10'000 * ms);
    EXPECT_EQ(atLimit.bufferedFrames(), 3840);
    EXPECT_EQ(atLimit.droppedFrames(), 0);
}

TEST(AudioRenderCore, ConvertsWholeLittleEndianFrames) {
    AudioRenderCore core(8, 2, 0);
    core.write(Bytes{0x00, 0x80, 0xFF, 0x7F, 0x01, 0x02, 0x03}, 0);
    core.write(Bytes{0x00, 0x00, 0x00}, 0);
    EXPECT_EQ(core.bufferedFrames(), 1);
    const std::vector<float> block = render(core, 1);
    EXPECT_EQ(block[0], -1.0f);
    EXPECT_EQ(block[1], 32767.0f / 32768.0f);
}

TEST(AudioRenderCore, MutedRenderingConsumesAndUnusedBuffersStayUntouched) {
    AudioRenderCore core = playerCore();
    core.write(stereoFrames(6000), 0);
    core.setMuted(true);
    EXPECT_TRUE(isSilent(render(core, 512), 0, 512));
    EXPECT_EQ(core.bufferedFrames(), 6000 - 512);
    core.setMuted(false);

    // One buffer per channel, as the platform's planar lists have them: a null one and one
    // beyond the core's channels are skipped.
    std::vector<float> left(5000, NAN);
    std::vector<float> surplus(5000, NAN);
    const AudioRenderCore::OutputChannel outputs[] = {
        {left.data(), 1}, {nullptr, 1}, {surplus.data(), 1}};
    core.render(5000, outputs);
    EXPECT_EQ(core.bufferedFrames(), 488);
    EXPECT_EQ(left[0], 513.0f / 32768.0f);
    EXPECT_EQ(left[4095], 4608.0f / 32768.0f);
    EXPECT_EQ(left[4096], 4609.0f / 32768.0f);
    EXPECT_EQ(left[4999], 5512.0f / 32768.0f);
    EXPECT_TRUE(std::all_of(surplus.begin(), surplus.end(), [](float s) { return std::isnan(s); }));
}

}  // namespace
}  // namespace qm
