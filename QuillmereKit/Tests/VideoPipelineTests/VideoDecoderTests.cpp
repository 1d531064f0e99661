#include <algorithm>
#include <atomic>
#include <deque>
#include <functional>
#include <optional>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/frame.h>
}

#include "Support/MediaFixtures.h"
#include "VideoPipeline/LatestFrameSlot.h"
#include "VideoPipeline/VideoDecoder.h"
#include "VideoPipeline/VideoPipelineError.h"

namespace qm {
namespace {

using Kind = StreamPacket::Kind;

// A backend that decodes nothing: it records what the decoder asked of it and answers with
// scripted statuses, delivering a blank picture for every success.
struct Script {
    int sessionsCreated = 0;
    bool hasSession = false;
    std::optional<std::int32_t> refuseCreation;
    std::deque<std::int32_t> statuses;  // next decode results; empty means success
    std::vector<std::int64_t> decodedPts;
    std::optional<FormatDescription> lastFormat;
};

class ScriptedBackend final : public VideoDecoderBackend {
public:
    explicit ScriptedBackend(std::shared_ptr<Script> script) : script_(std::move(script)) {}

    void createSession(const FormatDescription& format) override {
        script_->hasSession = false;
        if (script_->refuseCreation) {
            throw VideoPipelineError::decoderCreation(*script_->refuseCreation);
        }
        ++script_->sessionsCreated;
        script_->hasSession = true;
        script_->lastFormat = format;
    }
    void invalidateSession() noexcept override { script_->hasSession = false; }
    bool hasSession() const noexcept override { return script_->hasSession; }

    std::int32_t decode(std::span<const ByteView>, std::int64_t pts,
                        const PictureHandler& onPicture) override {
        script_->decodedPts.push_back(pts);
        if (!script_->statuses.empty()) {
            const std::int32_t status = script_->statuses.front();
            script_->statuses.pop_front();
            if (status != 0) {
                return status;
            }
        }
        onPicture(pool_.acquire());
        return 0;
    }

private:
    std::shared_ptr<Script> script_;
    FramePool pool_;
};

struct Harness {
    explicit Harness(std::unique_ptr<VideoDecoderBackend> backend = nullptr)
        : decoder([this](DecodedFrame frame) { frames.push_back(std::move(frame)); },
                  [this](RecoveryAction action) { actions.push_back(action); },
                  backend ? std::move(backend) : std::make_unique<ScriptedBackend>(script)) {}

    std::shared_ptr<Script> script = std::make_shared<Script>();
    std::vector<DecodedFrame> frames;
    std::vector<RecoveryAction> actions;
    VideoDecoder decoder;

    void feed(const std::vector<StreamPacket>& packets) {
        for (const StreamPacket& packet : packets) {
            decoder.handle(packet);
        }
    }
};

std::vector<StreamPacket> fixturePackets(const char* name, VideoCodec codec) {
    return test::accessUnitPackets(test::loadFixture(name), codec, 30);
}

const std::vector<StreamPacket>& h264Packets() {
    static const auto packets = fixturePackets("h264-720p.h264", VideoCodec::h264);
    return packets;
}

StreamPacket firstOf(Kind kind, const std::vector<StreamPacket>& packets, std::size_t skip = 0) {
    for (const StreamPacket& packet : packets) {
        if (packet.kind == kind && skip-- == 0) {
            return packet;
        }
    }
    throw std::runtime_error("no such packet");
}

TEST(VideoDecoder, DropsPacketsUntilConfigAndThenUntilAKeyFrame) {
    Harness h;
    const StreamPacket config = firstOf(Kind::config, h264Packets());
    const StreamPacket key = firstOf(Kind::keyFrame, h264Packets());
    const StreamPacket frame = firstOf(Kind::frame, h264Packets());

    h.feed({frame, key});
    EXPECT_EQ(h.script->sessionsCreated, 0);
    h.feed({config, frame, frame});
    EXPECT_EQ(h.script->sessionsCreated, 1);
    EXPECT_TRUE(h.script->decodedPts.empty());
    h.feed({key, frame});
    EXPECT_EQ(h.script->decodedPts, (std::vector<std::int64_t>{*key.ptsMicros, *frame.ptsMicros}));
    EXPECT_EQ(h.frames.size(), 2u);
    EXPECT_TRUE(h.actions.empty());
    ASSERT_TRUE(h.decoder.formatDescription());
    EXPECT_EQ(h.decoder.formatDescription()->mediaSubtype, FormatDescription::avc1);
}

TEST(VideoDecoder, RepeatedConfigKeepsTheSessionAndNewSetsRebuildIt) {
    Harness h;
    const auto rotate = fixturePackets("h264-rotate.h264", VideoCodec::h264);
    const StreamPacket portrait = firstOf(Kind::config, rotate);
    StreamPacket landscape = portrait;
    for (const StreamPacket& packet : rotate) {
        if (packet.kind == Kind::config && packet.data != portrait.data) {
            landscape = packet;
        }
    }
    ASSERT_NE(landscape.data, portrait.data);
    const StreamPacket key = firstOf(Kind::keyFrame, rotate);
    const StreamPacket frame = firstOf(Kind::frame, rotate);

    h.feed({portrait, key, portrait, frame});
    EXPECT_EQ(h.script->sessionsCreated, 1);
    EXPECT_EQ(h.frames.size(), 2u) << "a repeated config must not start a key-frame wait";

    h.feed({landscape, frame});
    EXPECT_EQ(h.script->sessionsCreated, 2);
    EXPECT_EQ(h.frames.size(), 2u) << "new parameter sets wait for a key frame";
    h.feed({key});
    EXPECT_EQ(h.frames.size(), 3u);
}

TEST(VideoDecoder, SessionChangeWaitsForConfigThenKeyFrame) {
    Harness h;
    const StreamPacket config = firstOf(Kind::config, h264Packets());
    const StreamPacket key = firstOf(Kind::keyFrame, h264Packets());
    const StreamPacket frame = firstOf(Kind::frame, h264Packets());
    h.feed({config, key});
    h.decoder.handle(StreamSession{{1280, 720}, false});
    h.feed({frame, key, config, frame});
    EXPECT_EQ(h.frames.size(), 1u);
    EXPECT_EQ(h.script->sessionsCreated, 1) << "the same sets keep the session";
    h.feed({key});
    EXPECT_EQ(h.frames.size(), 2u);
}

TEST(VideoDecoder, FailuresClimbTheLadderAndADecodedFrameResetsIt) {
    for (const auto& [name, codec, third] :
         {std::tuple{"h264-720p.h264", VideoCodec::h264, RecoveryAction::giveUp},
          std::tuple{"hevc-720p.h265", VideoCodec::h265, RecoveryAction::fallbackToH264}}) {
        Harness h;
        const auto packets = fixturePackets(name, codec);
        const StreamPacket key = firstOf(Kind::keyFrame, packets);
        h.feed({firstOf(Kind::config, packets)});
        h.script->statuses = {-1, -1, -1, -1, 0, -1};
        for (int i = 0; i < 6; ++i) {
            h.feed({key});
        }
        EXPECT_EQ(h.actions, (std::vector<RecoveryAction>{
                                 RecoveryAction::requestKeyFrame, RecoveryAction::recreateDecoder,
                                 third, RecoveryAction::giveUp, RecoveryAction::requestKeyFrame}))
            << name;
        EXPECT_EQ(h.script->sessionsCreated, 2) << "the second failure recreates the session";
    }
}

TEST(VideoDecoder, AFailureWaitsForTheNextKeyFrame) {
    Harness h;
    h.feed({firstOf(Kind::config, h264Packets()), firstOf(Kind::keyFrame, h264Packets())});
    h.script->statuses = {-5};
    const StreamPacket frame = firstOf(Kind::frame, h264Packets());
    h.feed({frame, frame, frame});
    EXPECT_EQ(h.script->decodedPts.size(), 2u);
    EXPECT_EQ(h.actions, std::vector<RecoveryAction>{RecoveryAction::requestKeyFrame});
}

TEST(VideoDecoder, InvalidSessionIsRecreatedOnTheFirstFailure) {
    Harness h;
    h.feed({firstOf(Kind::config, h264Packets())});
    h.script->statuses = {VideoDecoderBackend::sessionInvalidStatus};
    h.feed({firstOf(Kind::keyFrame, h264Packets())});
    EXPECT_EQ(h.actions, std::vector<RecoveryAction>{RecoveryAction::requestKeyFrame});
    EXPECT_EQ(h.script->sessionsCreated, 2);
}

TEST(VideoDecoder, RejectedConfigsFailAndKeepTheStoredSets) {
    Harness h;
    const StreamPacket config = firstOf(Kind::config, h264Packets());
    h.feed({config});
    const auto format = h.decoder.formatDescription();
    // SEI only, an SPS without PPS, and an SPS too short to describe a format.
    h.feed({{Kind::config, std::nullopt, {0, 0, 1, 0x06, 0x05}},
            {Kind::config, std::nullopt, {0, 0, 1, 0x67, 0x64}},
            {Kind::config, std::nullopt, {0, 0, 1, 0x67, 0x64, 0, 0, 1, 0x68, 0xEE}}});
    EXPECT_EQ(h.actions.size(), 3u);
    EXPECT_EQ(h.decoder.formatDescription(), format);

    h.script->refuseCreation = -12;
    h.feed({fixturePackets("hevc-720p.h265", VideoCodec::h265).front()});
    EXPECT_EQ(h.actions.size(), 4u);
    h.feed({firstOf(Kind::keyFrame, h264Packets())});
    EXPECT_TRUE(h.frames.empty()) << "no session, no decoding until a config succeeds";
}

TEST(VideoDecoder, FrameWithoutTimeAndEmptyPayload) {
    Harness h;
    h.feed({firstOf(Kind::config, h264Packets())});
    StreamPacket key = firstOf(Kind::keyFrame, h264Packets());
    key.ptsMicros.reset();
    h.feed({key});
    ASSERT_EQ(h.frames.size(), 1u);
    EXPECT_EQ(h.frames[0].ptsMicros, 0);
    EXPECT_GT(h.frames[0].decodedAtNanos, 0u);
    h.feed({{Kind::frame, 5, {1, 2, 3}}});
    EXPECT_EQ(h.actions, std::vector<RecoveryAction>{RecoveryAction::requestKeyFrame});
}

TEST(VideoDecoder, InvalidateDropsFormatButKeepsPolicy) {
    Harness h;
    h.feed({firstOf(Kind::config, h264Packets())});
    h.script->statuses = {-1};
    h.feed({firstOf(Kind::keyFrame, h264Packets())});
    h.decoder.invalidate();
    EXPECT_FALSE(h.decoder.formatDescription());
    h.feed({firstOf(Kind::keyFrame, h264Packets())});
    EXPECT_EQ(h.script->decodedPts.size(), 1u);
    h.feed({firstOf(Kind::config, h264Packets())});
    h.script->statuses = {-1};
    h.feed({firstOf(Kind::keyFrame, h264Packets())});
    EXPECT_EQ(h.actions.back(), RecoveryAction::recreateDecoder);
}

// The real software decoder on real streams.

struct Decoded {
    std::vector<DecodedFrame> frames;
    std::vector<RecoveryAction> actions;
};

Decoded decodeAll(const std::vector<StreamPacket>& packets) {
    Harness h(makeSoftwareDecoderBackend({1}));
    h.feed(packets);
    return {std::move(h.frames), std::move(h.actions)};
}

TEST(SoftwareDecoding, DecodesEveryFrameOfBothCodecs) {
    for (const auto& [name, codec] : {std::pair{"h264-720p.h264", VideoCodec::h264},
                                      std::pair{"hevc-720p.h265", VideoCodec::h265}}) {
        const auto packets = fixturePackets(name, codec);
        const Decoded result = decodeAll(packets);
        EXPECT_TRUE(result.actions.empty()) << name;
        ASSERT_EQ(result.frames.size(), 30u) << name;
        const AVFrame* frame = result.frames.back().pixelBuffer.frame();
        EXPECT_EQ(frame->width, 1280);
        EXPECT_EQ(frame->height, 720);
        EXPECT_EQ(result.frames.back().ptsMicros, 29 * 1'000'000 / 30);
        EXPECT_GE(result.frames.back().decodedAtNanos, result.frames.front().decodedAtNanos);
    }
}

TEST(SoftwareDecoding, FollowsAResolutionChange) {
    auto packets = fixturePackets("h264-rotate.h264", VideoCodec::h264);
    std::vector<StreamEvent> events;
    const Bytes* lastConfig = nullptr;
    for (const StreamPacket& packet : packets) {
        if (packet.kind == Kind::config && lastConfig && *lastConfig != packet.data) {
            events.emplace_back(StreamSession{{1280, 720}, false});
        }
        if (packet.kind == Kind::config) {
            lastConfig = &packet.data;
        }
        events.emplace_back(packet);
    }
    Harness h(makeSoftwareDecoderBackend({1}));
    for (const StreamEvent& event : events) {
        h.decoder.handle(event);
    }
    EXPECT_TRUE(h.actions.empty());
    ASSERT_EQ(h.frames.size(), 30u);
    EXPECT_EQ(h.frames.front().pixelBuffer.width(), 720);
    EXPECT_EQ(h.frames.front().pixelBuffer.height(), 1280);
    EXPECT_EQ(h.frames.back().pixelBuffer.width(), 1280);
    EXPECT_EQ(h.frames.back().pixelBuffer.height(), 720);
}

// H.264 conceals damaged slice data and flags the picture; FFmpeg's HEVC decoder conceals
// without a flag, so only damage that breaks a picture's structure shows there (below).
TEST(SoftwareDecoding, BitFlippedSlicesCostRecoverySteps) {
    auto packets = fixturePackets("h264-720p.h264", VideoCodec::h264);
    std::uint32_t seed = 12345;
    int flipped = 0;
    for (std::size_t i = 0; i < packets.size(); ++i) {
        if (packets[i].kind == Kind::config || i % 3 != 1) {
            continue;
        }
        Bytes& data = packets[i].data;
        for (int k = 0; k < 8; ++k) {
            seed = seed * 1664525u + 1013904223u;
            // Past the start code and NAL header, into the slice data.
            const std::size_t at = 8 + seed % (data.size() - 8);
            data[at] ^= static_cast<std::uint8_t>(1u << (seed >> 29));
        }
        ++flipped;
    }
    ASSERT_GT(flipped, 5);
    const Decoded result = decodeAll(packets);
    EXPECT_FALSE(result.actions.empty()) << "corruption must be reported";
    EXPECT_GT(result.frames.size(), 0u) << "key frames must bring it back";
    EXPECT_LT(result.frames.size(), 30u);
}

bool isSei(ByteView unit, VideoCodec codec) {
    return codec == VideoCodec::h264 ? (unit[0] & 0x1F) == 6 : ((unit[0] >> 1) & 0x3F) == 39;
}

// The packet with each unit `damage` picks cut to its first `kept` bytes.
void truncateUnits(StreamPacket& packet, std::size_t kept,
                   const std::function<bool(ByteView)>& damage) {
    Bytes data;
    for (ByteView unit : AnnexB::nalUnits(packet.data)) {
        const ByteView written = damage(unit) ? unit.first(std::min(kept, unit.size())) : unit;
        data.insert(data.end(), {0, 0, 0, 1});
        data.insert(data.end(), written.begin(), written.end());
    }
    packet.data = std::move(data);
}

TEST(SoftwareDecoding, AHarmlessOddityCostsNothingAndADamagedPictureCostsRecovery) {
    for (const auto& [name, codec] : {std::pair{"h264-720p.h264", VideoCodec::h264},
                                      std::pair{"hevc-720p.h265", VideoCodec::h265}}) {
        // The encoder's SEI, cut short: its payload claims bytes that never come.
        auto packets = fixturePackets(name, codec);
        int cut = 0;
        for (StreamPacket& packet : packets) {
            const std::size_t before = packet.data.size();
            truncateUnits(packet, 24, [&](ByteView unit) { return isSei(unit, codec); });
            cut += packet.data.size() < before;
        }
        ASSERT_GT(cut, 0) << name;
        Decoded result = decodeAll(packets);
        EXPECT_TRUE(result.actions.empty()) << name;
        EXPECT_EQ(result.frames.size(), 30u) << name;

        // Every slice of the fifth picture cut to a few bytes.
        packets = fixturePackets(name, codec);
        std::size_t pictures = 0;
        for (StreamPacket& packet : packets) {
            if (packet.kind != Kind::config && pictures++ == 4) {
                ASSERT_EQ(packet.kind, Kind::frame);
                truncateUnits(packet, 16, [&](ByteView unit) { return !isSei(unit, codec); });
            }
        }
        result = decodeAll(packets);
        EXPECT_EQ(result.actions, std::vector<RecoveryAction>{RecoveryAction::requestKeyFrame})
            << name;
        EXPECT_EQ(result.frames.size(), 24u) << name << ": decoding resumes at the next key frame";
    }
}

TEST(PixelBuffer, SharedCopiesKeepThePictureAndReturnItToThePool) {
    FramePool pool(1);
    PixelBuffer first = pool.acquire();
    const AVFrame* record = first.frame();
    first.mutableFrame()->width = 64;
    {
        PixelBuffer copy = first;
        first = PixelBuffer();
        EXPECT_EQ(copy.width(), 64);
    }
    PixelBuffer again = pool.acquire();
    EXPECT_EQ(again.frame(), record) << "the idle record is reused";
    EXPECT_EQ(again.width(), 0) << "and comes back empty";
    PixelBuffer outlivesPool;
    {
        FramePool shortLived;
        outlivesPool = shortLived.acquire();
    }
    EXPECT_TRUE(outlivesPool);
}

// As in a stream: the decoder's thread fills records, others draw and drop them, and the pool
// goes away while some are still out. A record handed out again while held would change under
// its holder.
TEST(PixelBuffer, RecordsComeBackFromOtherThreadsAndOutliveTheirPool) {
    LatestFrameSlot slot;
    std::atomic<bool> done = false;
    std::atomic<int> changedUnderHolder = 0;
    std::vector<std::jthread> drawers;
    for (int i = 0; i < 3; ++i) {
        drawers.emplace_back([&] {
            std::vector<DecodedFrame> held;
            while (!done || !held.empty()) {
                if (std::optional<DecodedFrame> frame = slot.take()) {
                    held.push_back(*frame);  // a copy, and the original dropped here
                } else if (!held.empty()) {
                    const DecodedFrame& oldest = held.front();
                    if (oldest.pixelBuffer.width() != int(oldest.ptsMicros)) {
                        ++changedUnderHolder;
                    }
                    held.erase(held.begin());
                } else {
                    std::this_thread::yield();
                }
            }
        });
    }
    {
        FramePool pool(2);
        for (int i = 1; i <= 2000; ++i) {
            PixelBuffer picture = pool.acquire();
            picture.mutableFrame()->width = i;
            slot.put(DecodedFrame{std::move(picture), i, 0});
        }
    }
    done = true;
    drawers.clear();
    EXPECT_EQ(changedUnderHolder, 0);
}

TEST(LatestFrameSlot, NewestFrameWinsAndReplacedOnesCountAsDropped) {
    LatestFrameSlot slot;
    EXPECT_FALSE(slot.take());
    EXPECT_FALSE(slot.put(DecodedFrame{{}, 1, 0}));
    EXPECT_TRUE(slot.put(DecodedFrame{{}, 2, 0}));
    EXPECT_EQ(slot.droppedCount(), 1);
    ASSERT_EQ(slot.take()->ptsMicros, 2);
    EXPECT_FALSE(slot.take());
    EXPECT_FALSE(slot.put(DecodedFrame{{}, 3, 0}));
    EXPECT_EQ(slot.droppedCount(), 1);
}

}  // namespace
}  // namespace qm
