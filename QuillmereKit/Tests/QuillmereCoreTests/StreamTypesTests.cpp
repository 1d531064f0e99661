#include <unordered_set>

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include "QuillmereCore/ControlMessage.h"
#include "QuillmereCore/StreamTypes.h"

namespace qm {
namespace {

TEST(StreamTypes, CodecsAndActionsComeOnlyFromTheirRawValues) {
    EXPECT_EQ(fromRawValue<VideoCodec>(0x68323634), VideoCodec::h264);
    EXPECT_EQ(fromRawValue<VideoCodec>(0x68323635), VideoCodec::h265);
    EXPECT_EQ(fromRawValue<VideoCodec>(0), std::nullopt);
    EXPECT_EQ(fromRawValue<AudioCodec>(0x00726177), AudioCodec::raw);
    EXPECT_EQ(fromRawValue<AudioCodec>(0), std::nullopt);
    EXPECT_EQ(fromRawValue<MotionAction>(2), MotionAction::move);
    EXPECT_EQ(fromRawValue<MotionAction>(3), std::nullopt);
    EXPECT_EQ(fromRawValue<KeyAction>(1), KeyAction::up);
    EXPECT_EQ(fromRawValue<KeyAction>(2), std::nullopt);
    EXPECT_EQ(serverName(VideoCodec::h265), "h265");
    EXPECT_EQ(serverName(AudioCodec::raw), "raw");
}

TEST(StreamTypes, VideoCodecCodesAsItsRawNumber) {
    EXPECT_EQ(nlohmann::json(VideoCodec::h265).dump(), "1748121141");
    EXPECT_EQ(nlohmann::json::parse("1748121140").get<VideoCodec>(), VideoCodec::h264);
    for (const char* bad : {"0", "-1", "1748121141.5", "\"h265\"", "99999999999"}) {
        EXPECT_THROW(nlohmann::json::parse(bad).get<VideoCodec>(), nlohmann::json::exception)
            << bad;
    }
}

TEST(StreamTypes, VideoSizeNeedsBothIntegerFields) {
    const VideoSize size{1920, 1080};
    EXPECT_EQ(nlohmann::json(size).get<VideoSize>(), size);
    EXPECT_EQ(nlohmann::json::parse(R"({"height":2,"width":1})").get<VideoSize>(),
              (VideoSize{1, 2}));
    for (const char* bad :
         {R"({"width":1})", R"({"width":1,"height":2.5})", R"({"width":"1","height":2})",
          R"({"width":1,"height":4294967296})", "[1,2]"}) {
        EXPECT_THROW(nlohmann::json::parse(bad).get<VideoSize>(), nlohmann::json::exception) << bad;
    }
    std::unordered_set<VideoSize> sizes{size, size, VideoSize{1080, 1920}};
    EXPECT_EQ(sizes.size(), 2u);
}

TEST(StreamTypes, ControlMessagesCompareEveryField) {
    const DevicePosition at{10, 20, 1080, 2400};
    const ControlMessage a = InjectTouch{MotionAction::down, PointerID::mouse, at, 1.0f, 0, 0};
    const ControlMessage b = InjectTouch{MotionAction::down, PointerID::mouse, at, 0.5f, 0, 0};
    EXPECT_NE(a, b);
    EXPECT_EQ(a,
              (ControlMessage{InjectTouch{MotionAction::down, PointerID::mouse, at, 1.0f, 0, 0}}));
    EXPECT_NE((ControlMessage{UhidInput{1, {1, 2}}}), (ControlMessage{UhidInput{1, {1, 3}}}));
    EXPECT_NE((ControlMessage{UhidDestroy{1}}), (ControlMessage{UhidInput{1, {}}}));
    EXPECT_EQ(PointerID::genericFinger, PointerID::mouse - 1);
}

}  // namespace
}  // namespace qm
