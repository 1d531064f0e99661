#include <gtest/gtest.h>

#include "Support/Hex.h"
#include "Support/MediaFixtures.h"
#include "VideoPipeline/FormatDescription.h"
#include "VideoPipeline/ParameterSetSyntax.h"
#include "VideoPipeline/VideoPipelineError.h"

namespace qm {
namespace {

ParameterSets fixtureSets(const char* name, VideoCodec codec) {
    const auto packets = test::accessUnitPackets(test::loadFixture(name), codec, 30);
    return AnnexB::parameterSets(codec, packets.front().data);
}

TEST(FormatDescription, AvcRecordCarriesProfileSetsAndFourByteLengths) {
    const ParameterSets sets = fixtureSets("h264-720p.h264", VideoCodec::h264);
    const FormatDescription format = FormatDescriptionFactory::make(VideoCodec::h264, sets);
    EXPECT_EQ(format.mediaSubtype, FormatDescription::avc1);
    EXPECT_EQ(format.parameterSets, (std::vector<Bytes>{sets.sps, sets.pps}));
    const Bytes& record = format.configurationRecord;
    ASSERT_GT(record.size(), 8u);
    EXPECT_EQ(record[0], 1);
    EXPECT_EQ(record[1], sets.sps[1]);  // profile_idc: High for this encoder
    EXPECT_EQ(record[3], sets.sps[3]);  // level_idc
    EXPECT_EQ(record[4], 0xFF);         // 4-byte NAL lengths
    EXPECT_EQ(record[5], 0xE1);
    EXPECT_EQ(std::size_t(record[6] << 8 | record[7]), sets.sps.size());
    // High profile: chroma 4:2:0 and 8-bit depths trail the sets.
    ASSERT_EQ(sets.sps[1], 100);
    EXPECT_EQ(Bytes(record.end() - 4, record.end()), (Bytes{0xFD, 0xF8, 0xF8, 0}));
}

TEST(FormatDescription, HevcRecordCarriesProfileTierLevelAndThreeArrays) {
    const ParameterSets sets = fixtureSets("hevc-720p.h265", VideoCodec::h265);
    const FormatDescription format = FormatDescriptionFactory::make(VideoCodec::h265, sets);
    EXPECT_EQ(format.mediaSubtype, FormatDescription::hvc1);
    const Bytes& record = format.configurationRecord;
    ASSERT_GT(record.size(), 23u);
    EXPECT_EQ(record[0], 1);
    EXPECT_EQ(record[1] & 0x1F, 1) << "Main profile";
    EXPECT_EQ(record[16], 0xFD) << "4:2:0";
    EXPECT_EQ(record[17], 0xF8) << "8-bit luma";
    EXPECT_EQ(record[21] & 3, 3) << "4-byte NAL lengths";
    EXPECT_EQ(record[22], 3);
    EXPECT_EQ(record[23], 0x80 | 32);
}

TEST(FormatDescription, RefusesSetsItCannotDescribe) {
    const ParameterSets hevc = fixtureSets("hevc-720p.h265", VideoCodec::h265);
    ParameterSets noVps = hevc;
    noVps.vps.reset();
    auto failure = [](VideoCodec codec, const ParameterSets& sets) {
        try {
            FormatDescriptionFactory::make(codec, sets);
        } catch (const VideoPipelineError& error) {
            return error.kind();
        }
        throw std::runtime_error("accepted");
    };
    EXPECT_EQ(failure(VideoCodec::h265, noVps), VideoPipelineErrorKind::missingParameterSet);

    ParameterSets longPps = fixtureSets("h264-720p.h264", VideoCodec::h264);
    longPps.pps.resize(65536, 0x55);
    EXPECT_EQ(failure(VideoCodec::h264, longPps), VideoPipelineErrorKind::formatDescription);
}

TEST(ParameterSetSyntax, MalformedSequencesAreRejectedNotOverread) {
    EXPECT_FALSE(parseAvcSequence(Bytes{0x67}));
    EXPECT_FALSE(parseAvcSequence(Bytes{0x67, 100, 0, 31}));  // ends inside the set id
    // A code of 32 leading zeros.
    EXPECT_FALSE(parseAvcSequence(Bytes{0x67, 66, 0, 31, 0, 0, 0, 0, 0x80}));
    EXPECT_FALSE(parseHevcSequence(Bytes{0x42, 0x01, 0x01}));
    const ParameterSets hevc = fixtureSets("hevc-720p.h265", VideoCodec::h265);
    for (std::size_t cut = 2; cut < 16; ++cut) {
        EXPECT_FALSE(parseHevcSequence(ByteView(hevc.sps).first(cut))) << cut;
    }
    EXPECT_TRUE(parseHevcSequence(hevc.sps));
}

TEST(ParameterSetSyntax, CroppedPictureSize) {
    // Sequence parameter sets of single frames made by ffmpeg's libx264 and libx265 from
    // testsrc2 at the size shown.
    struct Case {
        const char* what;
        VideoCodec codec;
        const char* sps;
        VideoSize size;
    };
    const Case cases[] = {
        {"1920x1080 4:2:0, cropped from 1088",
         VideoCodec::h264,
         "67640028acd940780227e5c044000003000400000300503c60c658",
         {1920, 1080}},
        {"1920x1080 interlaced",
         VideoCodec::h264,
         "67640028acd94078044fde022000000300200000030283e2c5b2c0",
         {1920, 1080}},
        {"102x98 4:4:4 with scaling matrices",
         VideoCodec::h264,
         "67f4000a919b28e7f171f80880000003008000000a078912cb",
         {102, 98}},
        {"100x60 4:2:2",
         VideoCodec::h264,
         "677a000abcd947279e5c0440000003004000000503c4896580",
         {100, 60}},
        {"1366x770 4:2:0, cropped from 1368x776",
         VideoCodec::h265,
         "420101016000000300900000030000030078a002ac80309d4996566924caf0168080000003008000000504",
         {1366, 770}},
        {"1366x770 4:2:2",
         VideoCodec::h265,
         "4201010408000003009d08000003000078b002ac80309d4f96566924caf0168080000003008000000504",
         {1366, 770}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(croppedPictureSize(c.codec, test::hex(c.sps)), c.size) << c.what;
    }
    EXPECT_EQ(
        croppedPictureSize(VideoCodec::h264, fixtureSets("h264-rotate.h264", VideoCodec::h264).sps),
        (VideoSize{720, 1280}));
    EXPECT_EQ(
        croppedPictureSize(VideoCodec::h265, fixtureSets("hevc-720p.h265", VideoCodec::h265).sps),
        (VideoSize{1280, 720}));

    // A cut set is refused until the cropping window is complete; what follows is not needed.
    const Bytes avc = test::hex(cases[0].sps);
    for (std::size_t cut = 1; cut < avc.size(); ++cut) {
        EXPECT_EQ(croppedPictureSize(VideoCodec::h264, ByteView(avc).first(cut)),
                  cut >= 11 ? std::optional(cases[0].size) : std::nullopt)
            << cut;
    }
}

}  // namespace
}  // namespace qm
