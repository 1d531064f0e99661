#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "QuillmereCore/VideoGeometry.h"

namespace qm {
namespace {

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

DevicePosition at(std::int32_t x, std::int32_t y, std::uint16_t w, std::uint16_t h) {
    return {x, y, w, h};
}

TEST(VideoGeometry, MapsViewPointsInsideTheLetterboxedPicture) {
    const VideoGeometry g({1920, 1080}, {100, 0, 960, 540});
    EXPECT_EQ(g.devicePositionForViewPoint({100, 0}), at(0, 0, 1920, 1080));
    EXPECT_EQ(g.devicePositionForViewPoint({580, 270}), at(960, 540, 1920, 1080));
    // The far corner is inside and lands on the last pixel, not one past it.
    EXPECT_EQ(g.devicePositionForViewPoint({1060, 540}), at(1919, 1079, 1920, 1080));
    EXPECT_EQ(g.devicePositionForViewPoint({99.9, 10}), std::nullopt);
    EXPECT_EQ(g.devicePositionForViewPoint({500, 540.1}), std::nullopt);
    const auto n = g.normalized({340, 405});
    ASSERT_TRUE(n);
    EXPECT_DOUBLE_EQ(n->x, 0.25);
    EXPECT_DOUBLE_EQ(n->y, 0.75);
}

TEST(VideoGeometry, DegenerateRectanglesAndNonFinitePointsMapNowhere) {
    const VideoGeometry flat({1920, 1080}, {0, 0, 0, 540});
    EXPECT_EQ(flat.normalized({0, 0}), std::nullopt);
    const VideoGeometry g({1920, 1080}, {0, 0, 960, 540});
    EXPECT_EQ(g.normalized({nan, 10}), std::nullopt);
    EXPECT_EQ(g.normalized({10, inf}), std::nullopt);
    const VideoGeometry nanRect({1920, 1080}, {0, 0, nan, 540});
    EXPECT_EQ(nanRect.normalized({10, 10}), std::nullopt);
}

TEST(VideoGeometry, PixelsRoundHalvesAwayFromZeroAndClampToTheVideo) {
    const VideoGeometry g({100, 100}, {0, 0, 100, 100});
    EXPECT_EQ(g.devicePositionForPixel({-5, 2.5}), at(0, 3, 100, 100));
    EXPECT_EQ(g.devicePositionForPixel({1000, 99.4}), at(99, 99, 100, 100));
    EXPECT_EQ(g.devicePositionForPixel({49.5, 49.49}), at(50, 49, 100, 100));
    EXPECT_EQ(g.devicePositionForPixel({inf, -inf}), at(99, 0, 100, 100));
    EXPECT_EQ(g.devicePositionForPixel({nan, nan}), at(0, 0, 100, 100));
    EXPECT_EQ(g.devicePositionForNormalized({0.5, 1.0}), at(50, 99, 100, 100));
}

TEST(VideoGeometry, ScreenSizeIsClampedToSixteenBitsButPixelsAreNot) {
    EXPECT_EQ(VideoGeometry({0, 0}, {}).devicePositionForPixel({3, 3}), at(0, 0, 0, 0));
    EXPECT_EQ(VideoGeometry({-4, 10}, {}).devicePositionForPixel({3, 3}), at(0, 3, 0, 10));
    const VideoGeometry wide({70000, 10}, {0, 0, 700, 10});
    EXPECT_EQ(wide.devicePositionForPixel({1e9, 0}), at(69999, 0, 65535, 10));
}

TEST(VideoGeometry, RectanglesAreStoredStandardised) {
    const VideoGeometry negative({1920, 1080}, {1060, 540, -960, -540});
    const VideoGeometry positive({1920, 1080}, {100, 0, 960, 540});
    EXPECT_EQ(negative, positive);
    EXPECT_EQ(negative.devicePositionForViewPoint({580, 270}), at(960, 540, 1920, 1080));
    EXPECT_NE(positive, VideoGeometry({1920, 1081}, {100, 0, 960, 540}));
}

}  // namespace
}  // namespace qm
