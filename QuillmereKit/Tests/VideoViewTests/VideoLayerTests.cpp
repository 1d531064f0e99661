#include <vector>

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/pixfmt.h>
}

#include "Support/GlTestContext.h"
#include "Support/MediaFixtures.h"
#include "VideoPipeline/View/VideoLayer.h"
#include "VideoPipeline/View/VideoRenderer.h"

namespace qm {
namespace {

// Plays both sides of a layer on the test thread: the drawing side presents, and "the display"
// latches and reports a frame on screen.
class VideoLayerTest : public ::testing::Test {
protected:
    VideoLayer::Drawable draw() {
        context.makeCurrent();
        std::optional<VideoLayer::Drawable> drawable = layer.nextDrawable();
        EXPECT_TRUE(drawable);
        return drawable.value_or(VideoLayer::Drawable{});
    }

    void present(const VideoLayer::Drawable& drawable, std::uint64_t id) {
        Gl& gl = context.makeCurrent();
        GLsync ready = gl.glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
        gl.glFlush();
        layer.present(drawable, ready, [this, id](std::uint64_t nanos) {
            reports.push_back({id, nanos});
        });
    }

    std::optional<VideoLayer::Shown> latch() {
        context.makeCurrent();
        return layer.latchForDisplay();
    }

    test::GlTestContext context;
    VideoLayer layer;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> reports;
};

TEST_F(VideoLayerTest, HasNothingToDrawIntoWhileItHasNoSize) {
    context.makeCurrent();
    EXPECT_FALSE(layer.nextDrawable());
    layer.setDrawableSize({0, 10});
    EXPECT_FALSE(layer.nextDrawable());
    EXPECT_FALSE(latch());
}

TEST_F(VideoLayerTest, ReportsAShownDrawableOnceWhenItsFrameIsOnScreen) {
    layer.setDrawableSize({64, 32});
    const VideoLayer::Drawable drawable = draw();
    EXPECT_EQ(drawable.size, QSize(64, 32));
    present(drawable, 1);
    layer.frameDisplayed(5);  // not latched yet
    EXPECT_TRUE(reports.empty());

    const std::optional<VideoLayer::Shown> shown = latch();
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->texture, drawable.texture);
    EXPECT_EQ(shown->size, QSize(64, 32));
    layer.frameDisplayed(7);
    layer.frameDisplayed(9);
    EXPECT_EQ(reports, (std::vector<std::pair<std::uint64_t, std::uint64_t>>{{1, 7}}));
    EXPECT_EQ(layer.displayedCount(), 1);
    // The shown drawable stays until a newer one is presented.
    EXPECT_EQ(latch()->texture, drawable.texture);
}

TEST_F(VideoLayerTest, ANewerDrawableReplacesOneWaitingToBeShown) {
    layer.setDrawableSize({16, 16});
    present(draw(), 1);
    latch();
    layer.frameDisplayed(1);

    present(draw(), 2);
    const VideoLayer::Drawable newest = draw();  // drawing never waits for the display
    present(newest, 3);
    EXPECT_EQ(latch()->texture, newest.texture);
    layer.frameDisplayed(2);
    EXPECT_EQ(reports, (std::vector<std::pair<std::uint64_t, std::uint64_t>>{{1, 1}, {3, 2}}));
}

TEST_F(VideoLayerTest, DrawablesFollowTheSize) {
    layer.setDrawableSize({16, 16});
    present(draw(), 1);
    layer.setDrawableSize({32, 8});
    EXPECT_EQ(draw().size, QSize(32, 8));
}

TEST_F(VideoLayerTest, RendererPresentsNothingIntoALayerWithoutSize) {
    VideoRenderer renderer(std::make_shared<RenderSettings>());
    bool reported = false;
    const DecodedFrame frame = test::flatFrame(32, 32, AV_PIX_FMT_YUV420P, 100, 128, 128);
    renderer.render(frame, layer, [&](std::uint64_t) { reported = true; });
    EXPECT_FALSE(latch());

    layer.setDrawableSize({40, 30});
    renderer.render(frame, layer, [&](std::uint64_t) { reported = true; });
    const std::optional<VideoLayer::Shown> shown = latch();
    ASSERT_TRUE(shown);
    layer.frameDisplayed(11);
    EXPECT_TRUE(reported);
    const QImage image = context.read(shown->texture, 40, 30);
    EXPECT_NE(image.pixel(20, 15), qRgba(0, 0, 0, 255));
    EXPECT_EQ(image.pixel(2, 15), qRgba(0, 0, 0, 255));  // the bar left of a square picture
}

}  // namespace
}  // namespace qm
