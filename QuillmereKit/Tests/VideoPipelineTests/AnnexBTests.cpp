#include <gtest/gtest.h>

#include "Support/MediaFixtures.h"
#include "VideoPipeline/AnnexB.h"
#include "VideoPipeline/VideoPipelineError.h"

namespace qm {
namespace {

std::vector<Bytes> units(const Bytes& data) {
    std::vector<Bytes> out;
    for (ByteView unit : AnnexB::nalUnits(data)) {
        out.emplace_back(unit.begin(), unit.end());
    }
    return out;
}

TEST(AnnexBSplitting, ShortOrStartCodeFreeBuffersHaveNoUnits) {
    EXPECT_TRUE(units({}).empty());
    EXPECT_TRUE(units({0}).empty());
    EXPECT_TRUE(units({0, 0}).empty());
    EXPECT_TRUE(units({0, 0, 2, 5, 6, 0, 0}).empty());
    EXPECT_TRUE(AnnexB::toLengthPrefixed(Bytes{0x67, 0x42, 0, 0}).empty());
}

TEST(AnnexBSplitting, FourByteStartCodesLeaveNoStrayZero) {
    const Bytes data = {0, 0, 0, 1, 0x67, 0xAA, 0, 0, 0, 1, 0x68, 0xBB};
    EXPECT_EQ(units(data), (std::vector<Bytes>{{0x67, 0xAA}, {0x68, 0xBB}}));
}

TEST(AnnexBSplitting, TrailingZerosAndEmptyUnitsAreCut) {
    EXPECT_EQ(units({0, 0, 1, 0x65, 0x11, 0, 0, 0}), (std::vector<Bytes>{{0x65, 0x11}}));
    EXPECT_EQ(units({0, 0, 1, 0, 0, 0, 0, 0, 1, 0x41}), (std::vector<Bytes>{{0x41}}));
    EXPECT_EQ(units({0, 0, 1, 0, 0, 1, 0x65, 0x22}), (std::vector<Bytes>{{0x65, 0x22}}));
    // Leading garbage is dropped; emulation prevention stays in the unit.
    EXPECT_EQ(units({9, 9, 0, 0, 1, 0x65, 0, 0, 3, 1}), (std::vector<Bytes>{{0x65, 0, 0, 3, 1}}));
}

TEST(AnnexBSplitting, SkippingScanFindsEveryStartCodeOffset) {
    // Start codes at every alignment after bytes above 1, which the scan skips over.
    for (std::size_t pad = 0; pad < 6; ++pad) {
        Bytes data(pad, 0x77);
        data.insert(data.end(), {0, 0, 1, 0x09, 0x77, 0x02, 0, 0, 1, 0x41, 0x03});
        EXPECT_EQ(units(data), (std::vector<Bytes>{{0x09, 0x77, 0x02}, {0x41, 0x03}})) << pad;
    }
}

TEST(AnnexBLengthPrefix, ReplacesStartCodesWithBigEndianLengths) {
    Bytes data = {0, 0, 0, 1};
    data.push_back(0x65);
    data.resize(data.size() + 299, 0x5A);
    data.insert(data.end(), {0, 0, 1, 0x41, 0x9A});
    const Bytes out = AnnexB::toLengthPrefixed(data);
    ASSERT_EQ(out.size(), 4 + 300 + 4 + 2u);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 4), (Bytes{0, 0, 1, 0x2C}));
    EXPECT_EQ(Bytes(out.begin() + 304, out.end()), (Bytes{0, 0, 0, 2, 0x41, 0x9A}));
}

TEST(AnnexBCodec, DetectsTheCodecFromTheFirstIdentifyingUnit) {
    EXPECT_EQ(AnnexB::detectCodec(Bytes{0, 0, 1, 0x40, 0x01, 0x0C}), VideoCodec::h265);
    EXPECT_EQ(AnnexB::detectCodec(Bytes{0, 0, 1, 0x67, 0x64}), VideoCodec::h264);
    EXPECT_EQ(AnnexB::detectCodec(Bytes{0, 0, 1, 0x06, 0x05, 0, 0, 1, 0x06, 0x01}), std::nullopt);
}

TEST(AnnexBParameterSets, FirstOfEachKindWinsAndMissingSetsAreNamed) {
    const Bytes twoSps = {0, 0, 1, 0x67, 1, 0, 0, 1, 0x67, 2, 0, 0, 1, 0x68, 3};
    const ParameterSets sets = AnnexB::parameterSets(VideoCodec::h264, twoSps);
    EXPECT_EQ(sets, (ParameterSets{std::nullopt, {0x67, 1}, {0x68, 3}}));

    auto missing = [](VideoCodec codec, const Bytes& config) {
        try {
            AnnexB::parameterSets(codec, config);
        } catch (const VideoPipelineError& error) {
            return error.message();
        }
        return std::string("nothing thrown");
    };
    EXPECT_EQ(missing(VideoCodec::h265, {0, 0, 1, 0x06, 0x01}), "missingParameterSet(\"VPS\")");
    EXPECT_EQ(missing(VideoCodec::h264, {0, 0, 1, 0x67, 1}), "missingParameterSet(\"PPS\")");
    EXPECT_EQ(missing(VideoCodec::h265, {0, 0, 1, 0x40, 1, 0, 0, 1, 0x44, 1}),
              "missingParameterSet(\"SPS\")");
}

TEST(AnnexBParameterSets, RealConfigsYieldTheirSets) {
    for (const auto& [name, codec] : {std::pair{"h264-720p.h264", VideoCodec::h264},
                                      std::pair{"hevc-720p.h265", VideoCodec::h265}}) {
        const Bytes stream = test::loadFixture(name);
        const auto packets = test::accessUnitPackets(stream, codec, 30);
        ASSERT_FALSE(packets.empty());
        ASSERT_EQ(packets.front().kind, StreamPacket::Kind::config);
        EXPECT_EQ(AnnexB::detectCodec(packets.front().data), codec);
        const ParameterSets sets = AnnexB::parameterSets(codec, packets.front().data);
        EXPECT_EQ(sets.vps.has_value(), codec == VideoCodec::h265) << name;
        EXPECT_GT(sets.sps.size(), 4u);
    }
}

}  // namespace
}  // namespace qm
