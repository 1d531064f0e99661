#include <atomic>
#include <future>
#include <vector>

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/pixfmt.h>
}

#include "QuillmereCore/SerialQueue.h"
#include "QuillmereKit/Video/VideoStage.h"
#include "Support/GlTestContext.h"
#include "Support/ManualExecutor.h"
#include "Support/MediaFixtures.h"

namespace qm {
namespace {

DecodedFrame frameAt(std::int64_t pts, int width = 64, int height = 36) {
    DecodedFrame frame = test::flatFrame(width, height, AV_PIX_FMT_YUV420P, 120, 128, 128);
    frame.ptsMicros = pts;
    return frame;
}

class VideoStageTest : public ::testing::Test {
protected:
    VideoStageTest() { layer->setDrawableSize({64, 36}); }

    // Plays the display: the drawable the renderer presented reaches the screen at `nanos`.
    bool display(std::uint64_t nanos) {
        context.makeCurrent();
        const bool latched = layer->latchForDisplay().has_value();
        layer->frameDisplayed(nanos);
        return latched;
    }

    VideoStage::PresentedHandler record() {
        return [this](const DecodedFrame& frame, std::uint64_t nanos) {
            presented.push_back({frame.ptsMicros, nanos});
        };
    }

    test::GlTestContext context;
    std::shared_ptr<test::ManualExecutor> queue = std::make_shared<test::ManualExecutor>();
    std::shared_ptr<VideoLayer> layer = std::make_shared<VideoLayer>();
    std::shared_ptr<VideoRenderer> renderer =
        std::make_shared<VideoRenderer>(std::make_shared<RenderSettings>());
    VideoStage stage{queue};
    std::vector<std::pair<std::int64_t, std::uint64_t>> presented;
};

TEST_F(VideoStageTest, DrawsOnlyTheNewestFrameAndCountsTheRestDropped) {
    stage.setTarget(layer, renderer);
    // Drawing held back: frames waiting for it queue one draw between them.
    for (std::int64_t pts = 1; pts <= 5; ++pts) {
        stage.frameDecoded(frameAt(pts), record());
    }
    EXPECT_EQ(stage.droppedCount(), 4);
    EXPECT_EQ(queue->drain(), 1u);
    ASSERT_TRUE(display(500));
    EXPECT_EQ(presented, (std::vector<std::pair<std::int64_t, std::uint64_t>>{{5, 500}}));
    // Once drawn, the next frame queues a draw of its own.
    stage.frameDecoded(frameAt(6), record());
    EXPECT_EQ(queue->drain(), 1u);
}

TEST_F(VideoStageTest, ReleasesFramesUndrawnWithoutATarget) {
    stage.frameDecoded(frameAt(1), record());
    queue->drain();
    stage.frameDecoded(frameAt(2), record());
    queue->drain();
    EXPECT_EQ(stage.droppedCount(), 0);
    EXPECT_FALSE(display(1));
    EXPECT_TRUE(presented.empty());
}

TEST_F(VideoStageTest, ReturnsTheSizeOfFramesThatChangedIt) {
    EXPECT_EQ(stage.frameDecoded(frameAt(1), {}), (VideoSize{64, 36}));
    EXPECT_EQ(stage.frameDecoded(frameAt(2), {}), std::nullopt);
    stage.resetVideoSize();
    EXPECT_EQ(stage.frameDecoded(frameAt(3), {}), (VideoSize{64, 36}));
    EXPECT_EQ(stage.frameDecoded(frameAt(4, 32, 32), {}), (VideoSize{32, 32}));
    EXPECT_EQ(stage.frameDecoded(frameAt(5, 32, 32), {}), std::nullopt);
    queue->drain();
}

TEST_F(VideoStageTest, FeedsTheCurrentDecoder) {
    const auto packets =
        test::accessUnitPackets(test::loadFixture("h264-720p.h264"), VideoCodec::h264, 30);
    stage.handle(packets.front());  // no decoder: dropped
    std::vector<std::optional<VideoSize>> sizes;
    auto decoder = std::make_shared<VideoDecoder>(
        [&](DecodedFrame frame) { sizes.push_back(stage.frameDecoded(std::move(frame), {})); },
        [](RecoveryAction) {});
    stage.replaceDecoder(decoder);
    EXPECT_EQ(stage.decoder(), decoder);
    for (std::size_t i = 0; i < 4; ++i) {
        stage.handle(packets[i]);
    }
    ASSERT_GE(sizes.size(), 2u);
    EXPECT_EQ(sizes[0], (VideoSize{1280, 720}));
    EXPECT_EQ(sizes[1], std::nullopt);
    stage.replaceDecoder(nullptr);
    EXPECT_EQ(stage.decoder(), nullptr);
    queue->drain();
}

TEST(VideoStageQueue, DrawsOnItsOwnRenderThread) {
    test::GlTestContext context;
    auto layer = std::make_shared<VideoLayer>();
    layer->setDrawableSize({64, 36});
    std::atomic<bool> drawn = false;
    {
        auto queue = std::make_shared<SerialQueue>("render");
        VideoStage stage(queue);
        stage.setTarget(layer, std::make_shared<VideoRenderer>(std::make_shared<RenderSettings>()));
        stage.frameDecoded(frameAt(1), [&](const DecodedFrame&, std::uint64_t) { drawn = true; });
        // A stage that goes drops frames not yet drawn, so let this one be drawn first.
        std::promise<void> idle;
        queue->post([&] { idle.set_value(); });
        idle.get_future().wait();
        // The queue then releases the renderer on its own thread.
    }
    context.makeCurrent();
    ASSERT_TRUE(layer->latchForDisplay());
    layer->frameDisplayed(1);
    EXPECT_TRUE(drawn);
}

}  // namespace
}  // namespace qm
