#include <gtest/gtest.h>

#include "Recorder/AnnexBSamples.h"
#include "Recorder/VideoFormat.h"
#include "Support/MediaFixtures.h"
#include "VideoPipeline/AnnexB.h"

namespace qm {
namespace {

constexpr std::uint32_t avc1 = FormatDescription::avc1;
constexpr std::uint32_t hvc1 = FormatDescription::hvc1;
constexpr std::uint32_t hev1 = 0x68657631;

std::vector<Bytes> units(const Bytes& data) {
    std::vector<Bytes> out;
    for (ByteView unit : AnnexBSamples::nalUnits(data)) {
        out.emplace_back(unit.begin(), unit.end());
    }
    return out;
}

TEST(AnnexBSamples, OneZeroJoinsTheStartCodeAndTheRestStay) {
    EXPECT_EQ(units({0, 0, 0, 1, 0x67, 0xAA, 0, 0, 1, 0x68, 0xBB}),
              (std::vector<Bytes>{{0x67, 0xAA}, {0x68, 0xBB}}));
    EXPECT_EQ(units({0, 0, 0, 1, 0x67, 0xAA, 0, 0, 0, 0, 1, 0x68, 0xBB}),
              (std::vector<Bytes>{{0x67, 0xAA, 0}, {0x68, 0xBB}}));
    EXPECT_EQ(units({0x11, 0x22, 0, 0, 1, 0x65, 0xCC}), (std::vector<Bytes>{{0x65, 0xCC}}));
    EXPECT_EQ(units({0, 0, 1, 0, 0, 1, 0x65}), (std::vector<Bytes>{{0x65}}));
    EXPECT_TRUE(units({0x65, 0x66, 0x67}).empty());
}

TEST(AnnexBSamples, SamplesKeepOnlyInBandUnits) {
    const Bytes avcUnit = {0, 0, 0, 1,    0x09, 0xF0, 0, 0, 0, 1,    0x67, 1,   0,
                           0, 0, 1, 0x68, 2,    0,    0, 0, 1, 0x65, 0x88, 0x84};
    EXPECT_EQ(AnnexBSamples::lengthPrefixed(avcUnit, avc1), (Bytes{0, 0, 0, 3, 0x65, 0x88, 0x84}));

    const Bytes hevcHeaders = {0, 0, 1, 0x40, 1, 0, 0, 1, 0x42, 1,
                               0, 0, 1, 0x44, 1, 0, 0, 1, 0x46, 1};
    EXPECT_TRUE(AnnexBSamples::lengthPrefixed(hevcHeaders, hvc1).empty());
    // The forbidden bit does not hide an SPS.
    EXPECT_TRUE(AnnexBSamples::isOutOfBand(Bytes{0xC2, 0x01}, hvc1));
    EXPECT_EQ(AnnexBSamples::nalType(Bytes{0xC2, 0x01}, hvc1), 33);
    EXPECT_EQ(AnnexBSamples::nalType(Bytes{}, hvc1), std::nullopt);
    // Only "hvc1" means HEVC: under hev1 a VPS header byte reads as AVC type 0.
    EXPECT_EQ(AnnexBSamples::nalType(Bytes{0x40, 0x01}, hev1), 0);
}

TEST(VideoFormat, CollectsCompleteSetsOnly) {
    EXPECT_FALSE(VideoFormat::parameterSets(Bytes{0, 0, 1, 0x42, 1, 0, 0, 1, 0x44, 2}, hvc1));
    const auto sets = VideoFormat::parameterSets(
        Bytes{0, 0, 1, 0x67, 1, 0, 0, 1, 0x67, 2, 0, 0, 1, 0x68, 3}, avc1);
    ASSERT_TRUE(sets);
    EXPECT_EQ(*sets, (VideoParameterSets{std::nullopt, {0x67, 1}, {0x68, 3}}));
}

TEST(VideoFormat, FormatsRoundTripTheirParameterSets) {
    for (const auto& [name, codec, key] : {std::tuple{"h264-720p.h264", VideoCodec::h264, avc1},
                                           std::tuple{"hevc-720p.h265", VideoCodec::h265, hvc1}}) {
        const auto packets = test::accessUnitPackets(test::loadFixture(name), codec, 30);
        const auto sets = VideoFormat::parameterSets(packets.front().data, key);
        ASSERT_TRUE(sets) << name;
        const auto format = VideoFormat::make(key, *sets);
        ASSERT_TRUE(format) << name;
        EXPECT_EQ(format->mediaSubtype, key);
        EXPECT_EQ(VideoFormat::parameterSets(*format), sets) << name;
    }
    EXPECT_FALSE(VideoFormat::make(hvc1, VideoParameterSets{std::nullopt, {0x42, 1}, {0x44, 1}}));
    EXPECT_FALSE(VideoFormat::make(avc1, VideoParameterSets{std::nullopt, {0x67}, {0x68, 1}}));
}

}  // namespace
}  // namespace qm
