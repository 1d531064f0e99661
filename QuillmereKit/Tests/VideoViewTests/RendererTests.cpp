#include <algorithm>
#include <cstring>

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

#include "ColorReference.h"
#include "Support/GlTestContext.h"
#include "Support/MediaFixtures.h"
#include "VideoPipeline/View/PlaneTextures.h"
#include "VideoPipeline/View/VideoRenderer.h"

namespace qm {
namespace {

const DecodedFrame& fixtureFrame(VideoCodec codec) {
    static const DecodedFrame h264 =
        test::decodedFixtureFrames("h264-720p.h264", VideoCodec::h264, 1)[0];
    static const DecodedFrame hevc =
        test::decodedFixtureFrames("hevc-720p.h265", VideoCodec::h265, 1)[0];
    return codec == VideoCodec::h264 ? h264 : hevc;
}

// The same picture with its chroma interleaved, as hardware decoders give it.
DecodedFrame toNv12(const DecodedFrame& planar) {
    static FramePool pool;
    const AVFrame& source = *planar.pixelBuffer.frame();
    PixelBuffer buffer = pool.acquire();
    AVFrame* frame = buffer.mutableFrame();
    frame->width = source.width;
    frame->height = source.height;
    frame->format = AV_PIX_FMT_NV12;
    frame->colorspace = source.colorspace;
    frame->color_range = source.color_range;
    if (av_frame_get_buffer(frame, 0) < 0) {
        throw std::bad_alloc();
    }
    for (int y = 0; y < source.height; ++y) {
        std::memcpy(frame->data[0] + y * frame->linesize[0],
                    source.data[0] + y * source.linesize[0], std::size_t(source.width));
    }
    for (int y = 0; y < (source.height + 1) / 2; ++y) {
        std::uint8_t* line = frame->data[1] + y * frame->linesize[1];
        for (int x = 0; x < (source.width + 1) / 2; ++x) {
            line[2 * x] = source.data[1][y * source.linesize[1] + x];
            line[2 * x + 1] = source.data[2][y * source.linesize[2] + x];
        }
    }
    return {std::move(buffer), planar.ptsMicros, planar.decodedAtNanos};
}

class RendererTest : public ::testing::Test {
protected:
    // Within 1/255 of the reference where only the conversion is at work; a texture unit's
    // 8-bit filtering of varying chroma may add a little more.
    void expectLikeReference(const DecodedFrame& frame) {
        const test::ReferenceComparison comparison = test::compareWithReference(
            draw(frame, frame.pixelBuffer.width(), frame.pixelBuffer.height()), frame);
        EXPECT_GT(comparison.flatChromaPixels, frame.pixelBuffer.width() * 10);
        EXPECT_LE(comparison.flatChromaDifference, 1);
        EXPECT_LE(comparison.filteredDifference, 6);
    }

    QImage draw(const DecodedFrame& frame, int width, int height) {
        return draw(renderer, frame, width, height);
    }
    static QImage draw(VideoRenderer& with, const DecodedFrame& frame, int width, int height) {
        TextureTarget target = with.makeTarget(width, height);
        EXPECT_TRUE(with.encode(frame, target));
        QImage image = with.readImage(target);
        with.releaseTarget(target);
        return image;
    }

    QColor centre(const DecodedFrame& frame) {
        const QImage image = draw(frame, 16, 16);
        return image.pixelColor(8, 8);
    }

    std::shared_ptr<RenderSettings> settings = std::make_shared<RenderSettings>();
    // Every pass, though the OpenGL here is a software rasterizer.
    VideoRenderer renderer{settings, VideoRenderer::Passes::all};
};

TEST_F(RendererTest, ConvertsDecodedPicturesLikeTheReference) {
    for (VideoCodec codec : {VideoCodec::h264, VideoCodec::h265}) {
        const DecodedFrame& frame = fixtureFrame(codec);
        ASSERT_EQ(frame.pixelBuffer.width(), 1280);
        settings->setUpscale(UpscaleSettings::off);
        expectLikeReference(frame);
        // At the picture's own size the bicubic filter lands on texel centres.
        settings->setUpscale({false, 0, UpscaleSettings::Filter::bicubic});
        expectLikeReference(frame);
    }
    settings->setUpscale(UpscaleSettings::off);
    expectLikeReference(toNv12(fixtureFrame(VideoCodec::h264)));
}

TEST_F(RendererTest, ExpandsRangesAndFollowsTheMatrixTag) {
    const QColor black(0, 0, 0), white(255, 255, 255);
    EXPECT_EQ(centre(test::flatFrame(16, 16, AV_PIX_FMT_YUV420P, 16, 128, 128)), black);
    EXPECT_EQ(centre(test::flatFrame(16, 16, AV_PIX_FMT_YUV420P, 235, 128, 128)), white);
    EXPECT_EQ(centre(test::flatFrame(16, 16, AV_PIX_FMT_YUV420P, 250, 128, 128)), white);
    EXPECT_EQ(centre(test::flatFrame(16, 16, AV_PIX_FMT_YUV420P, 4, 128, 128)), black);

    DecodedFrame full = test::flatFrame(16, 16, AV_PIX_FMT_YUV420P, 255, 128, 128);
    full.pixelBuffer.mutableFrame()->color_range = AVCOL_RANGE_JPEG;
    EXPECT_EQ(centre(full), white);
    const DecodedFrame jpeg = test::flatFrame(16, 16, AV_PIX_FMT_YUVJ420P, 0, 128, 128);
    EXPECT_EQ(centre(jpeg), black);

    DecodedFrame bt601 = test::flatFrame(16, 16, AV_PIX_FMT_YUV420P, 120, 60, 200);
    bt601.pixelBuffer.mutableFrame()->colorspace = AVCOL_SPC_SMPTE240M;
    const DecodedFrame untagged = test::flatFrame(16, 16, AV_PIX_FMT_YUV420P, 120, 60, 200);
    EXPECT_NE(centre(bt601), centre(untagged));
    const auto difference = [](QColor a, QColor b) {
        return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                         std::abs(a.blue() - b.blue())});
    };
    EXPECT_LE(difference(centre(bt601), test::referenceColor(bt601, 8, 8)), 1);
    EXPECT_LE(difference(centre(untagged), test::referenceColor(untagged, 8, 8)), 1);
}

TEST_F(RendererTest, LetterboxesTheDirectPath) {
    const DecodedFrame white = test::flatFrame(1920, 1080, AV_PIX_FMT_YUV420P, 235, 128, 128);
    const QImage image = draw(white, 800, 600);
    EXPECT_EQ(test::nonBlackPixels(image, 0, 75), 0);
    EXPECT_EQ(test::nonBlackPixels(image, 75, 525), 800 * 450);
    EXPECT_EQ(test::nonBlackPixels(image, 525, 600), 0);
}

TEST_F(RendererTest, UpscalesIntoTheFittedRectangleAndKeepsItsStage) {
    settings->setUpscale({true, 0.3, UpscaleSettings::Filter::bilinear});
    const DecodedFrame white = test::flatFrame(1280, 720, AV_PIX_FMT_YUV420P, 235, 128, 128);
    const QImage image = draw(white, 2560, 1600);
    EXPECT_EQ(test::nonBlackPixels(image, 0, 80), 0);
    EXPECT_EQ(test::nonBlackPixels(image, 80, 1520), 2560 * 1440);
    EXPECT_EQ(test::nonBlackPixels(image, 1520, 1600), 0);
    EXPECT_EQ(renderer.upscalerCreations(), 1);

    draw(white, 2560, 1600);
    EXPECT_EQ(renderer.upscalerCreations(), 1);
    // As tall as its place: drawn directly, the stage stays.
    const QImage tall = draw(white, 1280, 1600);
    EXPECT_EQ(test::nonBlackPixels(tall, 440, 1160), 1280 * 720);
    EXPECT_EQ(renderer.upscalerCreations(), 1);
    draw(white, 1920, 1200);
    EXPECT_EQ(renderer.upscalerCreations(), 2);
}

TEST_F(RendererTest, FlatPictureIsUnchangedBySharpening) {
    settings->setUpscale({true, 1.0, UpscaleSettings::Filter::bicubic});
    const DecodedFrame flat = test::flatFrame(320, 180, AV_PIX_FMT_YUV420P, 120, 90, 170);
    const QColor expected = test::referenceColor(flat, 0, 0);
    const QImage image = draw(flat, 1280, 800);
    int off = 0;
    for (int y = 40; y < 760; ++y) {
        for (int x = 0; x < 1280; ++x) {
            const QColor actual = image.pixelColor(x, y);
            off += std::abs(actual.red() - expected.red()) > 1 ||
                   std::abs(actual.green() - expected.green()) > 1 ||
                   std::abs(actual.blue() - expected.blue()) > 1;
        }
    }
    EXPECT_EQ(off, 0);
    EXPECT_EQ(test::nonBlackPixels(image, 0, 40), 0);
    EXPECT_EQ(test::nonBlackPixels(image, 760, 800), 0);
}

TEST_F(RendererTest, ASoftwareRasterizerDrawsThePlainBilinearPathWhateverTheSettings) {
    ASSERT_TRUE(VideoRenderer::isSoftwareRasterizer()) << "the tests run on Mesa's llvmpipe";
    EXPECT_FALSE(VideoRenderer::isUpscalingSupported());
    const DecodedFrame& frame = fixtureFrame(VideoCodec::h264);
    settings->setUpscale(UpscaleSettings::off);
    const QImage plain = draw(frame, 1920, 1080);

    VideoRenderer detected(settings);
    for (const UpscaleSettings& upscale :
         {UpscaleSettings(true, 0.3, UpscaleSettings::Filter::bicubic),
          UpscaleSettings(false, 0, UpscaleSettings::Filter::bicubic)}) {
        settings->setUpscale(upscale);
        EXPECT_EQ(draw(detected, frame, 1920, 1080), plain);
    }
    EXPECT_EQ(detected.upscalerCreations(), 0);
}

TEST_F(RendererTest, SkipsWhatItCannotDraw) {
    TextureTarget target = renderer.makeTarget(64, 64);
    EXPECT_FALSE(renderer.encode(DecodedFrame{}, target));
    EXPECT_FALSE(
        renderer.encode(test::flatFrame(16, 16, AV_PIX_FMT_YUV444P, 100, 128, 128), target));
    EXPECT_FALSE(renderer.encode(fixtureFrame(VideoCodec::h264), TextureTarget{}));
    renderer.releaseTarget(target);
}

// The driver would make an upload into textures a draw still in flight reads wait for the GPU.
TEST(PlaneTextures, AnUploadNeverWritesTheTexturesOfTheLastTwoPictures) {
    test::GlTestContext context;
    Gl& gl = context.makeCurrent();
    PlaneTextures planes(gl);
    std::vector<GLint> luma;
    const DecodedFrame frame = test::flatFrame(16, 16, AV_PIX_FMT_YUV420P, 120, 128, 128);
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(planes.upload(*frame.pixelBuffer.frame()));
        planes.bind();
        luma.emplace_back();
        gl.glGetIntegerv(GL_TEXTURE_BINDING_2D, &luma.back());
    }
    EXPECT_NE(luma[1], luma[0]);
    EXPECT_NE(luma[2], luma[1]);
    EXPECT_NE(luma[2], luma[0]);
    EXPECT_EQ(luma[3], luma[0]) << "the oldest set is reused";
}

}  // namespace
}  // namespace qm
