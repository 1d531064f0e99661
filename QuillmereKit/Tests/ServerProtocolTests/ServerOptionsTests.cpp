#include <fmt/format.h>
#include <fmt/ranges.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ServerProtocol/ServerOptions.h"

namespace qm {
namespace {

using ::testing::ElementsAre;

const std::vector<std::string> fixedTail = {
    "tunnel_forward=true",      "stay_awake=true",      "power_off_on_close=false",
    "clipboard_autosync=false", "cleanup=true",         "power_on=true",
    "send_device_meta=true",    "send_dummy_byte=true", "send_stream_meta=true",
    "send_frame_meta=true"};

TEST(ServerOptions, DefaultsGiveNineteenArgumentsInOrder) {
    const ServerOptions options(0x1234abcd);
    std::vector<std::string> expected = {
        "scid=1234abcd", "log_level=info",  "video_codec=h264",
        "max_size=1280", "max_fps=60",      "video_bit_rate=8000000",
        "audio=true",    "audio_codec=raw", "control=true"};
    expected.insert(expected.end(), fixedTail.begin(), fixedTail.end());
    EXPECT_EQ(options.serverArguments(), expected);
    EXPECT_EQ(options.shellCommand(),
              "CLASSPATH=/data/local/tmp/quillmere-server.jar app_process / "
              "com.tressik.quillmere.Server 4.1+qm2 " +
                  fmt::format("{}", fmt::join(expected, " ")));
}

TEST(ServerOptions, SessionIDIsEightLowerCaseHexDigitsEverywhere) {
    ServerOptions zero(0);
    EXPECT_EQ(zero.serverArguments().front(), "scid=00000000");
    EXPECT_EQ(zero.socketName(), "quillmere_00000000");
    EXPECT_EQ(zero.extSocketName(), "quillmere_ext_00000000");
    ServerOptions top(0x7fffffff);
    EXPECT_EQ(top.serverArguments().front(), "scid=7fffffff");
    EXPECT_EQ(top.socketName(), "quillmere_7fffffff");
}

TEST(ServerOptions, OptionalArgumentsComeAndGoWithTheirSettings) {
    ServerOptions options(1);
    options.videoCodec = VideoCodec::h265;
    options.audio = false;
    options.control = false;
    options.stayAwake = false;
    options.videoCodecOptions = {"profile:int=1"};
    const auto args = options.serverArguments();
    ASSERT_EQ(args.size(), 19u);
    EXPECT_EQ(args[2], "video_codec=h265");
    EXPECT_EQ(args[6], "video_codec_options=profile:int=1");
    EXPECT_EQ(args[7], "audio=false");
    EXPECT_EQ(args[8], "control=false");
    EXPECT_EQ(args[10], "stay_awake=false");

    options.videoCodecOptions = ServerOptions::lowLatencyVideoCodecOptions();
    EXPECT_EQ(options.serverArguments()[6],
              "video_codec_options=vendor.qti-ext-enc-low-latency.enable:int=1,"
              "operating-rate:int=32767");
}

TEST(ServerOptions, ScreenAndExtensionSettingsStayOffTheCommandLine) {
    ServerOptions a(5);
    ServerOptions b(5);
    b.turnScreenOff = true;
    b.ext = false;
    EXPECT_EQ(a.shellCommand(), b.shellCommand());
    EXPECT_NE(a, b);
}

TEST(ServerOptions, RefusesCodecOptionsTheShellWouldSplitOrInterpret) {
    for (const char* bad : {"a b", "x;reboot", "q=$(id)", "tab\there", "quote'", "new\nline"}) {
        ServerOptions options(1);
        options.videoCodecOptions = {"fine:int=1", bad};
        try {
            options.shellCommand();
            ADD_FAILURE() << "accepted " << bad;
        } catch (const ServerOptionsError& error) {
            EXPECT_EQ(error.kind(), ServerOptionsErrorKind::invalidVideoCodecOption);
            EXPECT_NE(error.message().find(bad), std::string::npos);
        }
    }
}

TEST(ServerOptions, RandomSessionIDsStayBelowTheTopBitAndVary) {
    std::uint32_t seenBits = 0;
    for (int i = 0; i < 2000; ++i) {
        const std::uint32_t scid = ServerOptions::randomScid();
        EXPECT_LT(scid, 0x80000000u);
        seenBits |= scid;
    }
    EXPECT_EQ(seenBits, 0x7FFFFFFFu);  // every allowed bit shows up
}

}  // namespace
}  // namespace qm
