#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <fmt/format.h>

#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

#include "QuillmereCore/Log.h"
#include "Support/LogSince.h"
#include "Support/MediaFixtures.h"
#include "VideoPipeline/VaapiDecoderBackend.h"
#include "VideoPipeline/VideoDecoder.h"

namespace qm {
namespace {

// What the stand-in GPU does; each failure is the status a VAAPI device returns at that step.
struct Gpu {
    int openStatus = 0;
    int attachStatus = 0;
    int supportStatus = 0;
    std::optional<int> failTransfersFrom{};  // index of the first picture whose copy fails
    int transferStatus = AVERROR(EIO);
    std::vector<std::string> openedNodes{};
    int transfers = 0;
};

// The software decoder's own pictures stand in for surfaces; a transfer copies one into the
// NV12 picture the backend hands it, as a download from a real device does.
class FakeVaapiDevice final : public VaapiDevice {
public:
    explicit FakeVaapiDevice(std::shared_ptr<Gpu> gpu) : gpu_(std::move(gpu)) {}

    int open(const std::string& renderNode) override {
        gpu_->openedNodes.push_back(renderNode);
        return gpu_->openStatus;
    }
    int attach(AVCodecContext&) override { return gpu_->attachStatus; }
    AVPixelFormat surfaceFormat() const noexcept override { return AV_PIX_FMT_YUV420P; }
    int supports(AVCodecContext&) override { return gpu_->supportStatus; }

    int transfer(const AVFrame& surface, AVFrame& picture) override {
        if (gpu_->failTransfersFrom && gpu_->transfers >= *gpu_->failTransfersFrom) {
            return gpu_->transferStatus;
        }
        ++gpu_->transfers;
        if (picture.format != AV_PIX_FMT_NV12 || !picture.buf[0] ||
            picture.width != surface.width || picture.height != surface.height) {
            return AVERROR(EINVAL);
        }
        for (int row = 0; row < surface.height; ++row) {
            std::memcpy(picture.data[0] + row * picture.linesize[0],
                        surface.data[0] + row * surface.linesize[0], surface.width);
        }
        for (int row = 0; row < (surface.height + 1) / 2; ++row) {
            std::uint8_t* line = picture.data[1] + row * picture.linesize[1];
            for (int x = 0; x < (surface.width + 1) / 2; ++x) {
                line[2 * x] = surface.data[1][row * surface.linesize[1] + x];
                line[2 * x + 1] = surface.data[2][row * surface.linesize[2] + x];
            }
        }
        return 0;
    }

private:
    std::shared_ptr<Gpu> gpu_;
};

bool sameRows(const std::uint8_t* a, int aStride, const std::uint8_t* b, int bStride, int width,
              int rows) {
    for (int row = 0; row < rows; ++row) {
        if (std::memcmp(a + row * aStride, b + row * bStride, width) != 0) {
            return false;
        }
    }
    return true;
}

// A software decoder's picture, with its chroma also laid out as a device's download has it.
struct Reference {
    DecodedFrame frame;
    std::vector<std::uint8_t> interleavedChroma;
};

Reference referenceOf(DecodedFrame frame) {
    const AVFrame& picture = *frame.pixelBuffer.frame();
    const int width = (picture.width + 1) / 2, height = (picture.height + 1) / 2;
    std::vector<std::uint8_t> interleaved(std::size_t(2 * width * height));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            interleaved[std::size_t(2 * (y * width + x))] =
                picture.data[1][y * picture.linesize[1] + x];
            interleaved[std::size_t(2 * (y * width + x) + 1)] =
                picture.data[2][y * picture.linesize[2] + x];
        }
    }
    return {std::move(frame), std::move(interleaved)};
}

// The same samples and colour description, whatever the chroma layout.
bool samePicture(const AVFrame& a, const Reference& reference) {
    const AVFrame& b = *reference.frame.pixelBuffer.frame();
    if (a.width != b.width || a.height != b.height || a.color_range != b.color_range ||
        a.colorspace != b.colorspace || a.color_primaries != b.color_primaries ||
        !sameRows(a.data[0], a.linesize[0], b.data[0], b.linesize[0], a.width, a.height)) {
        return false;
    }
    const int width = (a.width + 1) / 2, height = (a.height + 1) / 2;
    if (a.format == AV_PIX_FMT_NV12) {
        return sameRows(a.data[1], a.linesize[1], reference.interleavedChroma.data(), 2 * width,
                        2 * width, height);
    }
    return sameRows(a.data[1], a.linesize[1], b.data[1], b.linesize[1], width, height) &&
           sameRows(a.data[2], a.linesize[2], b.data[2], b.linesize[2], width, height);
}

std::vector<std::string> decoderLogLines() {
    std::vector<std::string> lines;
    for (const LogEntry& entry : Log::recentEntries()) {
        if (entry.category == "video" && entry.message.starts_with("video decoder: ")) {
            lines.push_back(entry.message);
        }
    }
    return lines;
}

struct Decoding {
    std::vector<DecodedFrame> frames;
    std::vector<RecoveryAction> actions;
    DecoderKind kind = DecoderKind::software;
    std::vector<std::string> logLines;  // the decoder's choices
};

Decoding decodeClip(const std::vector<StreamPacket>& packets,
                    std::unique_ptr<VideoDecoderBackend> backend) {
    Decoding run;
    const std::size_t linesBefore = decoderLogLines().size();
    VideoDecoder decoder([&](DecodedFrame frame) { run.frames.push_back(std::move(frame)); },
                         [&](RecoveryAction action) { run.actions.push_back(action); },
                         std::move(backend));
    for (const StreamPacket& packet : packets) {
        decoder.handle(packet);
    }
    run.kind = decoder.decoderKind();
    run.logLines = decoderLogLines();
    run.logLines.erase(run.logLines.begin(), run.logLines.begin() + linesBefore);
    return run;
}

struct Clip {
    const char* name;
    std::vector<StreamPacket> packets;
    std::map<std::int64_t, Reference> reference;  // by presentation time
};

constexpr int clipPictures = 12;

const std::vector<Clip>& clips() {
    static const std::vector<Clip> all = [] {
        std::vector<Clip> made;
        for (const auto& [name, codec] : {std::pair{"h264-720p.h264", VideoCodec::h264},
                                          std::pair{"hevc-720p.h265", VideoCodec::h265}}) {
            Clip clip{name, test::accessUnitPackets(test::loadFixture(name), codec, 30), {}};
            // Up to two pictures past the second key frame: enough for every case below.
            const auto pictures = std::ranges::count_if(clip.packets, [](const auto& packet) {
                return packet.kind != StreamPacket::Kind::config;
            });
            for (auto extra = pictures - clipPictures; extra > 0; clip.packets.pop_back()) {
                extra -= clip.packets.back().kind != StreamPacket::Kind::config;
            }
            for (DecodedFrame& frame :
                 decodeClip(clip.packets, makeSoftwareDecoderBackend({1})).frames) {
                clip.reference.emplace(frame.ptsMicros, referenceOf(std::move(frame)));
            }
            made.push_back(std::move(clip));
        }
        return made;
    }();
    return all;
}

// Every frame in presentation order, none twice, each equal to the software decoder's.
void expectFrameExact(const Clip& clip, const Decoding& run) {
    for (std::size_t i = 0; i < run.frames.size(); ++i) {
        const DecodedFrame& frame = run.frames[i];
        if (i > 0) {
            EXPECT_GT(frame.ptsMicros, run.frames[i - 1].ptsMicros);
        }
        const auto reference = clip.reference.find(frame.ptsMicros);
        ASSERT_NE(reference, clip.reference.end());
        EXPECT_TRUE(samePicture(*frame.pixelBuffer.frame(), reference->second))
            << "picture at " << frame.ptsMicros << " us";
    }
}

std::size_t nv12Count(const Decoding& run) {
    return std::ranges::count_if(run.frames, [](const DecodedFrame& frame) {
        return frame.pixelBuffer.frame()->format == AV_PIX_FMT_NV12;
    });
}

TEST(VaapiDecoderBackend, EveryFallbackEndsInSoftwareWithEveryFrameExact) {
    struct Case {
        const char* name;
        Gpu gpu;
        HardwareDecodingOptions options;
        std::size_t fromDevice;  // the first pictures, copied down from the device
        std::size_t lost;        // pictures before the next key frame, when no replay covers them
        DecoderKind endsIn;
        std::size_t logLines;  // the choice, and the hand-over when there is one
        std::optional<std::size_t> damaged = std::nullopt;  // a picture cut short in the stream
    };
    // The device is lost on the sixth access unit since the key frame.
    HardwareDecodingOptions fullReplay;
    fullReplay.replayLimit = 6;
    HardwareDecodingOptions narrowReplay;
    narrowReplay.replayLimit = 5;
    HardwareDecodingOptions forced;
    forced.forceSoftware = true;
    const std::vector<Case> cases = {
        {"working device", {}, {}, clipPictures, 0, DecoderKind::vaapi, 1},
        {"device missing", {.openStatus = AVERROR_EXTERNAL}, {}, 0, 0, DecoderKind::software, 1},
        {"profile unsupported",
         {.supportStatus = AVERROR(EINVAL)},
         {},
         0,
         0,
         DecoderKind::software,
         1},
        {"creation failing", {.attachStatus = AVERROR(ENOMEM)}, {}, 0, 0, DecoderKind::software, 1},
        {"transfer failing on the 3rd picture",
         {.failTransfersFrom = 2},
         {},
         2,
         0,
         DecoderKind::software,
         2},
        {"device lost mid-stream, the replay full",
         {.failTransfersFrom = 5, .transferStatus = AVERROR(ENODEV)},
         fullReplay,
         5,
         0,
         DecoderKind::software,
         2},
        // One access unit more than the replay takes: the decoder's recovery waits for the next
        // key frame instead.
        {"device lost far from a key frame",
         {.failTransfersFrom = 5, .transferStatus = AVERROR(ENODEV)},
         narrowReplay,
         5,
         5,
         DecoderKind::software,
         2},
        {"software forced", {}, forced, 0, 0, DecoderKind::software, 1},
        // The stream's damage, not the device's: the decoder's recovery waits for a key frame.
        {"damaged picture on a working device", {}, {}, 6, 6, DecoderKind::vaapi, 1, 4},
    };
    for (const Clip& clip : clips()) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(clip.name) + ", " + c.name);
            auto gpu = std::make_shared<Gpu>(c.gpu);
            std::vector<StreamPacket> packets = clip.packets;
            for (std::size_t picture = 0; StreamPacket & packet : packets) {
                if (packet.kind != StreamPacket::Kind::config && picture++ == c.damaged) {
                    packet.data.resize(16);
                }
            }
            const Decoding run = decodeClip(
                packets,
                makeVaapiDecoderBackend(c.options, std::make_unique<FakeVaapiDevice>(gpu)));
            ASSERT_EQ(run.frames.size(), clip.reference.size() - c.lost);
            expectFrameExact(clip, run);
            EXPECT_EQ(nv12Count(run), c.fromDevice);
            EXPECT_TRUE(std::all_of(run.frames.begin(), run.frames.begin() + c.fromDevice,
                                    [](const DecodedFrame& frame) {
                                        return frame.pixelBuffer.frame()->format == AV_PIX_FMT_NV12;
                                    }));
            EXPECT_EQ(run.actions, c.lost ? std::vector{RecoveryAction::requestKeyFrame}
                                          : std::vector<RecoveryAction>{});
            EXPECT_EQ(run.kind, c.endsIn);
            EXPECT_EQ(run.logLines.size(), c.logLines);
            EXPECT_EQ(gpu->openedNodes.size(), c.options.forceSoftware ? 0u : 1u)
                << "the device is opened once per stream";
        }
    }
}

TEST(VaapiDecoderBackend, TheDeviceAUserNamesIsTheOneOpened) {
    auto gpu = std::make_shared<Gpu>(Gpu{.openStatus = AVERROR(EINVAL)});
    HardwareDecodingOptions options;
    options.renderNode = "/dev/dri/renderD129";
    const Clip& clip = clips().front();
    const Decoding run = decodeClip(
        clip.packets, makeVaapiDecoderBackend(options, std::make_unique<FakeVaapiDevice>(gpu)));
    EXPECT_EQ(gpu->openedNodes, std::vector<std::string>{"/dev/dri/renderD129"});
    EXPECT_EQ(run.frames.size(), clip.reference.size());
    EXPECT_EQ(run.kind, DecoderKind::software);
}

// Whatever this machine has: the machines that build this project have no GPU, so the real
// device fails to open and the stream decodes in software, saying so once.
TEST(VaapiDecoderBackend, TheRealDeviceDecodesTheClipOrHandsItToSoftware) {
    // The second clip's choice repeats the first's, logged at debug level.
    const test::DebugLevel verbose(Log::video());
    for (const Clip& clip : clips()) {
        SCOPED_TRACE(clip.name);
        const Decoding run =
            decodeClip(clip.packets, makeVaapiDecoderBackend({}, makeVaapiDevice()));
        ASSERT_EQ(run.frames.size(), clip.reference.size());
        expectFrameExact(clip, run);
        EXPECT_TRUE(run.actions.empty());
        ASSERT_EQ(run.logLines.size(), 1u);
        EXPECT_TRUE(
            run.logLines[0].starts_with(fmt::format("video decoder: {} ", displayName(run.kind))))
            << run.logLines[0];
    }
}

TEST(VaapiDecoderBackend, EnvironmentForcesSoftwareAndNamesTheDevice) {
    struct Case {
        const char* force;
        const char* node;
        bool forced;
    };
    for (const Case& c :
         {Case{nullptr, nullptr, false}, Case{"1", "/dev/dri/renderD129", true},
          Case{"0", nullptr, false}, Case{"", nullptr, false}, Case{"yes", nullptr, true}}) {
        const HardwareDecodingOptions options =
            HardwareDecodingOptions::fromEnvironment([&](const char* name) -> const char* {
                const std::string_view variable = name;
                if (variable == HardwareDecodingOptions::forceSoftwareVariable) {
                    return c.force;
                }
                return variable == HardwareDecodingOptions::renderNodeVariable ? c.node : nullptr;
            });
        EXPECT_EQ(options.forceSoftware, c.forced) << (c.force ? c.force : "unset");
        EXPECT_EQ(options.renderNode, c.node ? c.node : "");
    }
}

}  // namespace
}  // namespace qm
