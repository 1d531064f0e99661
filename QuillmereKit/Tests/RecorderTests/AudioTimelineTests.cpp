#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "Recorder/AudioTimeline.h"

namespace qm {
namespace {

TEST(AudioTimeline, PlacesPacketsOnTheSampleClock) {
    using Placement = AudioTimeline::Placement;
    struct Case {
        const char* what;
        std::vector<std::pair<std::int64_t, std::int64_t>> packets;  // µs after the start, frames
        std::vector<Placement> placements;
    };
    const Case cases[] = {
        {"a late packet starts where the previous one ended",
         {{0, 960}, {10000, 960}},
         {{0, 0, 0}, {0, 0, 960}}},
        {"frames before the start are cut",
         {{-10000, 960}, {10000, 960}},
         {{480, 0, 0}, {0, 0, 480}}},
        {"a packet wholly before the start leaves the clock at 0",
         {{-30000, 960}, {5000, 960}},
         {{960, 0, 0}, {0, 240, 240}}},
        {"a gap is filled with silence", {{0, 960}, {100000, 960}}, {{0, 0, 0}, {0, 3840, 4800}}},
        {"the first packet is placed after silence from 0", {{20000, 960}}, {{0, 960, 960}}},
        {"a gap of exactly the limit is filled",
         {{0, 960}, {1020000, 960}},
         {{0, 0, 0}, {0, 48000, 48960}}},
        {"a gap beyond the silence is skipped over, the packet at its time",
         {{0, 960}, {2000000, 960}},
         {{0, 0, 0}, {0, 0, 96000, 95040}}},
        {"a jump beyond six hours is a broken time and follows on",
         {{0, 960}, {21600040000, 960}},
         {{0, 0, 0}, {0, 0, 960}}},
    };
    for (const Case& c : cases) {
        AudioTimeline timeline(48000);
        std::vector<Placement> placements;
        for (const auto& [micros, frames] : c.packets) {
            placements.push_back(timeline.place(micros, frames));
        }
        EXPECT_EQ(placements, c.placements) << c.what;
    }
}

TEST(AudioTimeline, TimesAreRoundedDownWithoutOverflow) {
    EXPECT_EQ(AudioTimeline::framesAt(20000), 960);
    EXPECT_EQ(AudioTimeline::framesAt(-1), -1);
    EXPECT_EQ(AudioTimeline::framesAt(20), 0);
    EXPECT_EQ(AudioTimeline::framesAt(INT64_MAX), 442721857769029238);
}

}  // namespace
}  // namespace qm
