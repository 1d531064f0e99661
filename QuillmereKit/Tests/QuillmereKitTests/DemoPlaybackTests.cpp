#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <limits>
#include <mutex>

#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "QuillmereCore/BinaryError.h"
#include "QuillmereCore/DataByteSource.h"
#include "QuillmereKit/Demo/DemoClock.h"
#include "QuillmereKit/Demo/DemoPlayer.h"
#include "QuillmereKit/Demo/DemoSource.h"
#include "QuillmereKit/Demo/DemoStreamFormat.h"
#include "QuillmereKit/Session/SessionTypes.h"
#include "Support/ManualExecutor.h"
#include "Support/MediaFixtures.h"
#include "Support/MediaPackets.h"
#include "Support/VirtualClock.h"
#include "Support/Waiting.h"

namespace qm {
namespace {

using namespace std::chrono_literals;
using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::Le;

constexpr std::uint64_t seconds(double s) {
    return static_cast<std::uint64_t>(s * 1e9);
}

Bytes capture(const std::vector<StreamEvent>& events) {
    Bytes file = DemoStreamFormat::header(VideoCodec::h264);
    const Bytes body = test::framed(events);
    file.insert(file.end(), body.begin(), body.end());
    return file;
}

StreamPacket frameAt(std::int64_t pts) {
    return {StreamPacket::Kind::frame, pts, {0, 0, 0, 1, 0x41}};
}

const StreamPacket config{StreamPacket::Kind::config, std::nullopt, {0, 0, 0, 1, 0x67}};

TEST(DemoClock, FollowsTheFileWithinASecondOfRealTimeAndStartsOverBeyond) {
    // PTS whose nanoseconds pass 2^64 by 384: wrapped, they would look due at once.
    constexpr std::int64_t wrapping = 18'446'744'073'709'552;
    struct Step {
        std::int64_t pts;
        double now;
        double due;
    };
    const std::vector<Step> steps = {
        {0, 10.0, 10.0},
        {500'000, 10.2, 10.5},
        {3'000'000, 10.2, 10.2},  // more than a second early: anchored here
        {3'100'000, 11.3, 10.3},  // a second late at most: due at once, on the old schedule
        {3'200'000, 11.3, 10.4},
        {3'300'000, 11.6, 11.6},  // more than a second late
        {100, 11.6, 11.6},        // backwards
        {wrapping, 11.7, 11.7},
        {wrapping + 500'000, 11.7, 12.2},
        {std::numeric_limits<std::int64_t>::max(), 11.7, 11.7},
        {std::numeric_limits<std::int64_t>::min(), 11.7, 11.7},
    };
    DemoClock clock;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        EXPECT_EQ(clock.deadline(steps[i].pts, seconds(steps[i].now)), seconds(steps[i].due))
            << "step " << i;
    }
    clock.reset();
    EXPECT_EQ(clock.deadline(200'000, seconds(13)), seconds(13));
}

TEST(DemoSource, PlaysPassesAtThePacketsTimesAndTellsMalformedBodiesApart) {
    const std::vector<StreamEvent> threeFrames = {StreamSession{{64, 36}, false}, config,
                                                  frameAt(0), frameAt(16'667), frameAt(33'333)};
    Bytes cut = capture(threeFrames);
    cut.pop_back();
    Bytes badHeader = capture({frameAt(0)});
    BinaryWriter zeroSize;
    test::writeMediaHeader(zeroSize, 5, 0);
    const Bytes zeroSizeHeader = zeroSize.take();
    badHeader.insert(badHeader.end(), zeroSizeHeader.begin(), zeroSizeHeader.end());

    struct Case {
        Bytes file;
        std::optional<int> loops;
        std::vector<int> passes;
        std::size_t events;
        std::vector<std::chrono::nanoseconds> sleeps;
        std::string error;
    };
    const std::vector<Case> cases = {
        // Each pass lasts its packets' span, and at least 100 ms.
        {capture(threeFrames),
         2,
         {0, 1},
         10,
         {16'667us, 16'666us, 66'667us, 16'667us, 16'666us, 66'667us},
         ""},
        {capture(threeFrames), 0, {}, 0, {}, ""},
        {cut, 2, {0, 1}, 8, {16'667us, 83'333us, 16'667us, 83'333us}, ""},
        {capture({config}), 3, {0}, 1, {}, "noTimedPackets"},
        {badHeader, 1, {0}, 1, {}, "invalid(\"packet size 0\")"},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        test::VirtualClock clock;
        std::vector<int> passes;
        std::size_t events = 0;
        std::string error;
        try {
            DemoSource(cases[i].file)
                .play(
                    cases[i].loops, [&](int pass) { passes.push_back(pass); },
                    [&](const StreamEvent&) { ++events; }, clock.taskClock(), {});
        } catch (const ProgramError& e) {
            error = e.caseText();
        }
        EXPECT_EQ(passes, cases[i].passes) << "case " << i;
        EXPECT_EQ(events, cases[i].events) << "case " << i;
        EXPECT_EQ(clock.sleeps(), cases[i].sleeps) << "case " << i;
        EXPECT_EQ(error, cases[i].error) << "case " << i;
    }
}

TEST(DemoSource, AFileThatCannotBePlayedFailsWithItsCase) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("qm-demo-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    Bytes badMagic = capture({frameAt(0)});
    badMagic[0] = 'X';
    const auto write = [](Bytes contents) {
        return [contents](const fs::path& file) { std::ofstream(file) << asText(contents); };
    };
    const std::vector<std::pair<std::function<void(const fs::path&)>, std::string>> cases = {
        {write(badMagic), "demo stream: badMagic"},
        {write(Bytes(5, 'Q')), "demo stream: truncated"},
        {[](const fs::path&) {}, "demo stream: No such file or directory"},
        {[](const fs::path& file) { fs::create_directory(file); },
         "demo stream: demo.qmstream is a folder, not a capture file"},
        // Refused, not waited on for a writer.
        {[](const fs::path& file) { ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0); },
         "demo stream: demo.qmstream is a named pipe, not a capture file"},
    };
    for (const auto& [make, message] : cases) {
        const fs::path file = dir / "demo.qmstream";
        fs::remove_all(file);
        make(file);
        try {
            DemoSource::open(file);
            ADD_FAILURE() << "opened";
        } catch (const DemoError& error) {
            EXPECT_EQ(error.kind(), DemoErrorKind::unreadable);
            // The log's case; the person is told the file is damaged.
            EXPECT_EQ(failure(std::current_exception()),
                      SessionFailure::serverFailed(message, false, FailureCause::demoUnreadable,
                                                   message));
        }
    }
    fs::remove_all(dir);
}

TEST(DemoSource, AFileIsReadInPiecesWhateverItsSizeAndMayNotShrinkWhilePlaying) {
    namespace fs = std::filesystem;
    const fs::path file =
        fs::temp_directory_path() / ("qm-demo-large-" + std::to_string(::getpid()) + ".qmstream");
    // Frames larger than a piece read.
    std::vector<StreamEvent> frames = {config};
    for (int i = 0; i < 10; ++i) {
        frames.push_back(
            StreamPacket{StreamPacket::Kind::frame, i * 16'667, Bytes(512 << 10, 0x41)});
    }
    const Bytes contents = capture(frames);
    struct Case {
        const char* what;
        std::uint64_t size;   // the file's size, a sparse tail of zeros past the packets
        std::uint64_t cutTo;  // what the file is shortened to after the first frame, if not 0
        std::size_t events;
        std::string error;
    };
    const Case cases[] = {
        {"beyond what fits in memory at once: it plays, until the zeros", 300ull << 20, 0, 11,
         "invalid(\"packet size 0\")"},
        {"shortened while playing", contents.size(), 1'000'000, 2,
         "demo stream: the file was shortened while it played"},
    };
    for (const Case& c : cases) {
        {
            std::ofstream(file, std::ios::binary | std::ios::trunc)
                .write(reinterpret_cast<const char*>(contents.data()),
                       static_cast<std::streamsize>(contents.size()));
        }
        fs::resize_file(file, c.size);
        test::VirtualClock clock;
        std::size_t events = 0;
        std::string error;
        try {
            DemoSource::open(file).play(1, {},
                                        [&](const StreamEvent&) {
                                            if (++events == 2 && c.cutTo) {
                                                fs::resize_file(file, c.cutTo);
                                            }
                                        },
                                        clock.taskClock(), {});
        } catch (const ProgramError& e) {
            error = e.caseText();
        }
        EXPECT_EQ(events, c.events) << c.what;
        EXPECT_EQ(error, c.error) << c.what;
    }
    fs::remove(file);
}

// Decoders whose frames are noted with the virtual time they came out at.
class DemoPlayerTest : public ::testing::Test {
protected:
    struct Frame {
        int decoder;
        std::int64_t pts;
        std::uint64_t at;
        bool operator==(const Frame&) const = default;
    };

    std::shared_ptr<VideoDecoder> makeDecoder() {
        std::lock_guard lock(mutex_);
        const int index = ++decoders_;
        return std::make_shared<VideoDecoder>(
            [this, index](DecodedFrame frame) {
                std::lock_guard frameLock(mutex_);
                frames_.push_back({index, frame.ptsMicros, clock_->nowNanos()});
            },
            [](RecoveryAction) { ADD_FAILURE() << "the decoder failed"; },
            makeSoftwareDecoderBackend({1}));
    }

    // Plays `source` from 10 s until time reaches `parkAt`, then stops the player.
    std::vector<Frame> playUntil(DemoSource source, double parkAt) {
        clock_.emplace(seconds(10), seconds(parkAt));
        stage_.replaceDecoder(makeDecoder());
        DemoPlayer player(
            std::move(source), stage_, [this] { return makeDecoder(); },
            [](std::exception_ptr error) { ADD_FAILURE() << describe(error); },
            clock_->taskClock());
        EXPECT_TRUE(test::eventually([&] { return clock_->parked(); }, 60s));
        player.stop();
        EXPECT_THAT(clock_->sleeps(), Each(Le(1s)));
        std::lock_guard lock(mutex_);
        return frames_;
    }

    std::optional<test::VirtualClock> clock_;
    VideoStage stage_{std::make_shared<test::ManualExecutor>()};
    std::mutex mutex_;
    int decoders_ = 0;
    std::vector<Frame> frames_;
};

TEST_F(DemoPlayerTest, TheBundledDemoPlaysAtItsTimesAndLoopsOnAFreshDecoder) {
    DemoSource source = DemoSource::open(QM_DEMO_STREAM);
    std::vector<std::int64_t> pts;
    const Bytes file = test::loadFile(QM_DEMO_STREAM);
    DataByteSource body = DataByteSource::viewing(DemoStreamFormat::parse(file).body);
    while (const auto event = test::nextEventOrEnd(body)) {
        if (const auto* packet = std::get_if<StreamPacket>(&*event); packet && packet->ptsMicros) {
            pts.push_back(*packet->ptsMicros);
        }
    }
    ASSERT_GE(pts.size(), 60u);
    // Each pass starts where the last ended, its first frame due at once.
    const std::uint64_t span = std::uint64_t(pts.back() - pts.front()) * 1000;
    const auto due = [&](int pass, std::size_t i) {
        return seconds(10) + std::uint64_t(pass) * span + std::uint64_t(pts[i] - pts[0]) * 1000;
    };
    const double parkAt = 10 + double(span) / 1e9 + 0.05;

    std::vector<Frame> expected;
    for (std::size_t i = 0; i < pts.size(); ++i) {
        expected.push_back({1, pts[i], due(0, i)});
    }
    for (std::size_t i = 0; due(1, i) <= seconds(parkAt); ++i) {
        expected.push_back({2, pts[i], due(1, i)});
    }
    EXPECT_EQ(playUntil(std::move(source), parkAt), expected);
    EXPECT_EQ(decoders_, 2);
}

TEST_F(DemoPlayerTest, AOneFrameCaptureLastsATenthOfASecondAPass) {
    const std::vector<StreamPacket> packets =
        test::accessUnitPackets(test::loadFixture("h264-720p.h264"), VideoCodec::h264, 30);
    ASSERT_EQ(packets.at(1).kind, StreamPacket::Kind::keyFrame);
    const std::int64_t pts = *packets[1].ptsMicros;
    EXPECT_EQ(playUntil(DemoSource(capture({packets[0], packets[1]})), 10.35),
              (std::vector<Frame>{{1, pts, seconds(10.0)},
                                  {2, pts, seconds(10.1)},
                                  {3, pts, seconds(10.2)},
                                  {4, pts, seconds(10.3)}}));
    EXPECT_THAT(clock_->sleeps(), ElementsAre(100ms, 100ms, 100ms, 100ms));
}

TEST_F(DemoPlayerTest, ACaptureWithoutTimedPacketsEndsThePlayer) {
    test::VirtualClock clock;
    std::promise<std::string> ended;
    DemoPlayer player(
        DemoSource(capture({config})), stage_, [this] { return makeDecoder(); },
        [&](std::exception_ptr error) {
            try {
                std::rethrow_exception(error);
            } catch (const DemoError& e) {
                ended.set_value(e.caseText());
            }
        },
        clock.taskClock());
    auto result = ended.get_future();
    ASSERT_EQ(result.wait_for(60s), std::future_status::ready);
    EXPECT_EQ(result.get(), "noTimedPackets");
}

}  // namespace
}  // namespace qm
