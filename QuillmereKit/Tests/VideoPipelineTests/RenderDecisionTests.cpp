#include <cmath>

#include <gtest/gtest.h>

#include "VideoPipeline/GPUTimeWindow.h"
#include "VideoPipeline/UpscaleSettings.h"
#include "VideoPipeline/Viewport.h"
#include "VideoPipeline/YCbCrMatrix.h"

namespace qm {
namespace {

TEST(Viewport, FitsCentredWithTheAspectKept) {
    EXPECT_EQ(Viewport::aspectFit({1920, 1080}, {800, 600}), (RectF{0, 75, 800, 450}));
    EXPECT_EQ(Viewport::aspectFit({1280, 720}, {2560, 1600}), (RectF{0, 80, 2560, 1440}));
    EXPECT_EQ(Viewport::aspectFit({1080, 1920}, {1000, 1000}), (RectF{218.75, 0, 562.5, 1000}));
    EXPECT_EQ(Viewport::aspectFit({0, 0}, {800, 600}), RectF{});
    EXPECT_EQ(Viewport::aspectFit({1280, 720}, {0, 600}), RectF{});
    EXPECT_EQ(Viewport::aspectFit({1280, 720}, {NAN, 600}), RectF{});
}

TEST(RenderPath, UpscalesOnlyWhenAskedSupportedAndLargerInBothDimensions) {
    const UpscaleSettings on(true, 0.3, UpscaleSettings::Filter::bilinear);

    const RenderPath up = RenderPath::choose({1280, 720}, {2560, 1600}, on, true);
    EXPECT_EQ(up.kind, RenderPath::Kind::upscaled);
    EXPECT_EQ(up.output, (VideoSize{2560, 1440}));
    EXPECT_EQ(up.outputX, 0);
    EXPECT_EQ(up.outputY, 80);

    const UpscaleSettings bicubicOff(false, 0, UpscaleSettings::Filter::bicubic);
    const RenderPath direct = RenderPath::choose({1280, 720}, {1920, 1080}, bicubicOff, true);
    EXPECT_EQ(direct.kind, RenderPath::Kind::direct);
    EXPECT_EQ(direct.fit, (RectF{0, 0, 1920, 1080}));

    EXPECT_EQ(RenderPath::choose({1280, 720}, {2560, 1600}, on, false).kind,
              RenderPath::Kind::direct);
    // As large as its place in one dimension: never upscaled.
    EXPECT_EQ(RenderPath::choose({1280, 720}, {1280, 1600}, on, true).kind,
              RenderPath::Kind::direct);
    EXPECT_EQ(RenderPath::choose({1920, 1080}, {1280, 720}, on, true).kind,
              RenderPath::Kind::direct);
    // A fitted height of 4.5 rounds away from zero; the origin rounds down.
    const RenderPath half = RenderPath::choose({4, 2}, {9, 100}, on, true);
    EXPECT_EQ(half.kind, RenderPath::Kind::upscaled);
    EXPECT_EQ(half.output, (VideoSize{9, 5}));
    EXPECT_EQ(half.outputY, 47);
}

TEST(UpscaleSettings, ClampsSharpnessAndNamesFilters) {
    EXPECT_EQ(UpscaleSettings(true, 1.7, UpscaleSettings::Filter::bicubic).sharpness, 1.0);
    EXPECT_EQ(UpscaleSettings(true, -0.5, UpscaleSettings::Filter::bicubic).sharpness, 0.0);
    EXPECT_EQ(UpscaleSettings(true, NAN, UpscaleSettings::Filter::bicubic).sharpness, 0.0);
    EXPECT_EQ(UpscaleSettings::defaultSettings,
              UpscaleSettings(false, 0.3, UpscaleSettings::Filter::bicubic));
    EXPECT_EQ(filterFromRawValue("bicubic"), UpscaleSettings::Filter::bicubic);
    EXPECT_EQ(filterFromRawValue("bilinear"), UpscaleSettings::Filter::bilinear);
    EXPECT_EQ(filterFromRawValue("lanczos"), std::nullopt);

    RenderSettings shared;
    EXPECT_EQ(shared.upscale(), UpscaleSettings::off);
    shared.setUpscale(UpscaleSettings::defaultSettings);
    EXPECT_EQ(shared.upscale(), UpscaleSettings::defaultSettings);
}

TEST(GPUTimeWindow, SummarisesFullWindowsOfOnePath) {
    GPUTimeWindow window(120);
    std::optional<GPUTimeWindow::Summary> summary;
    for (int ms = 1; ms <= 120; ++ms) {
        ASSERT_FALSE(summary);
        summary = window.add(ms, false, ms + 16);
    }
    ASSERT_TRUE(summary);
    EXPECT_EQ(*summary, (GPUTimeWindow::Summary{61, 109, 120, 120, false}));
    EXPECT_EQ(window.count(), 0u);

    EXPECT_FALSE(window.add(0, false, 16));
    EXPECT_FALSE(window.add(-3, false, 16));
    EXPECT_FALSE(window.add(682'790.79, false, 40));  // a query that never recorded its start
    EXPECT_EQ(window.count(), 0u);

    for (int i = 0; i < 50; ++i) {
        window.add(5, false, 16);
    }
    window.add(7, true, 16);  // the other path starts a new window
    EXPECT_EQ(window.count(), 1u);
}

TEST(YCbCrMatrix, HasTheCoefficientsOfEachStandard) {
    const auto expect = [](const YCbCrMatrix& m, float rFromCr, float gFromCb, float gFromCr,
                           float bFromCb) {
        EXPECT_EQ(m.columns[0], (std::array<float, 3>{1, 1, 1}));
        EXPECT_NEAR(m.columns[2][0], rFromCr, 1e-5);
        EXPECT_NEAR(m.columns[1][1], gFromCb, 1e-5);
        EXPECT_NEAR(m.columns[2][1], gFromCr, 1e-5);
        EXPECT_NEAR(m.columns[1][2], bFromCb, 1e-5);
        EXPECT_EQ(m.columns[1][0], 0);
        EXPECT_EQ(m.columns[2][2], 0);
    };
    expect(YCbCrMatrix::bt709, 1.5748f, -0.187324f, -0.468124f, 1.8556f);
    expect(YCbCrMatrix::bt601, 1.402f, -0.344136f, -0.714136f, 1.772f);
    expect(YCbCrMatrix::bt2020, 1.4746f, -0.164553f, -0.571353f, 1.8814f);
}

TEST(YCbCrMatrix, FollowsThePicturesTag) {
    EXPECT_EQ(YCbCrMatrix::forAttachment(AVCOL_SPC_UNSPECIFIED), YCbCrMatrix::bt709);
    EXPECT_EQ(YCbCrMatrix::forAttachment(AVCOL_SPC_BT709), YCbCrMatrix::bt709);
    EXPECT_EQ(YCbCrMatrix::forAttachment(AVCOL_SPC_SMPTE170M), YCbCrMatrix::bt601);
    EXPECT_EQ(YCbCrMatrix::forAttachment(AVCOL_SPC_BT470BG), YCbCrMatrix::bt601);
    EXPECT_EQ(YCbCrMatrix::forAttachment(AVCOL_SPC_SMPTE240M), YCbCrMatrix::bt601);
    EXPECT_EQ(YCbCrMatrix::forAttachment(AVCOL_SPC_BT2020_NCL), YCbCrMatrix::bt2020);
    EXPECT_EQ(YCbCrMatrix::forAttachment(AVCOL_SPC_FCC), YCbCrMatrix::bt709);
    EXPECT_EQ(YCbCrMatrix::forPixelBuffer(PixelBuffer()), YCbCrMatrix::bt709);
}

}  // namespace
}  // namespace qm
