#include "Support/MediaFixtures.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "VideoPipeline/AnnexB.h"
#include "VideoPipeline/VideoDecoder.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

namespace qm::test {

namespace {

enum class UnitRole { parameterSet, prefix, picture, other };

struct UnitInfo {
    UnitRole role;
    bool firstSliceOfPicture = false;
    bool randomAccess = false;
};

UnitInfo classify(ByteView unit, VideoCodec codec) {
    if (codec == VideoCodec::h264) {
        const int type = unit[0] & 0x1F;
        if (type == 7 || type == 8) {
            return {UnitRole::parameterSet};
        }
        if (type == 6 || type == 9 || (type >= 14 && type <= 18)) {
            return {UnitRole::prefix};
        }
        if (type >= 1 && type <= 5) {
            // first_mb_in_slice is ue(v): a leading 1 bit codes 0.
            return {UnitRole::picture, unit.size() > 1 && (unit[1] & 0x80) != 0, type == 5};
        }
        return {UnitRole::other};
    }
    const int type = (unit[0] >> 1) & 0x3F;
    if (type >= 32 && type <= 34) {
        return {UnitRole::parameterSet};
    }
    if (type == 35 || type == 39 || (type >= 41 && type <= 44) || (type >= 48 && type <= 55)) {
        return {UnitRole::prefix};
    }
    if (type <= 31) {
        return {UnitRole::picture, unit.size() > 2 && (unit[2] & 0x80) != 0,
                type >= 16 && type <= 23};
    }
    return {UnitRole::other};
}

void appendUnit(Bytes& out, ByteView unit) {
    static constexpr std::uint8_t startCode[] = {0, 0, 0, 1};
    out.insert(out.end(), std::begin(startCode), std::end(startCode));
    out.insert(out.end(), unit.begin(), unit.end());
}

}  // namespace

Bytes loadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw std::runtime_error("cannot read " + path);
    }
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

Bytes loadFixture(const std::string& name) {
    const char* dir = std::getenv("QM_FIXTURES_DIR");
    if (!dir) {
        throw std::runtime_error("QM_FIXTURES_DIR is not set");
    }
    return loadFile(std::string(dir) + "/" + name);
}

std::vector<StreamPacket> accessUnitPackets(ByteView elementaryStream, VideoCodec codec, int fps) {
    std::vector<StreamPacket> packets;
    Bytes config, picture;
    bool sawPicture = false, randomAccess = false;
    std::int64_t index = 0;
    auto flush = [&] {
        if (!config.empty()) {
            packets.push_back({StreamPacket::Kind::config, std::nullopt, std::move(config)});
            config.clear();
        }
        if (sawPicture) {
            packets.push_back(
                {randomAccess ? StreamPacket::Kind::keyFrame : StreamPacket::Kind::frame,
                 index * 1'000'000 / fps, std::move(picture)});
            ++index;
        }
        picture.clear();
        sawPicture = randomAccess = false;
    };
    for (ByteView unit : AnnexB::nalUnits(elementaryStream)) {
        const UnitInfo info = classify(unit, codec);
        const bool startsUnit = info.role == UnitRole::parameterSet ||
                                info.role == UnitRole::prefix ||
                                (info.role == UnitRole::picture && info.firstSliceOfPicture);
        if (startsUnit && sawPicture) {
            flush();
        }
        if (info.role == UnitRole::parameterSet) {
            appendUnit(config, unit);
            continue;
        }
        appendUnit(picture, unit);
        if (info.role == UnitRole::picture) {
            sawPicture = true;
            randomAccess = randomAccess || info.randomAccess;
        }
    }
    flush();
    return packets;
}

std::vector<DecodedFrame> decodedFixtureFrames(const std::string& name, VideoCodec codec,
                                               std::size_t count) {
    std::vector<DecodedFrame> frames;
    VideoDecoder decoder(
        [&](DecodedFrame frame) {
            if (frames.size() < count) {
                frames.push_back(std::move(frame));
            }
        },
        [](RecoveryAction) {});
    for (const StreamPacket& packet : accessUnitPackets(loadFixture(name), codec, 30)) {
        if (frames.size() >= count) {
            break;
        }
        decoder.handle(packet);
    }
    if (frames.size() < count) {
        throw std::runtime_error("too few pictures in " + name);
    }
    return frames;
}

DecodedFrame flatFrame(int width, int height, int format, std::uint8_t y, std::uint8_t cb,
                       std::uint8_t cr) {
    static FramePool pool;
    PixelBuffer buffer = pool.acquire();
    AVFrame* frame = buffer.mutableFrame();
    frame->width = width;
    frame->height = height;
    frame->format = format;
    if (av_frame_get_buffer(frame, 0) < 0) {
        throw std::runtime_error("no memory for a picture");
    }
    const bool nv12 = format == AV_PIX_FMT_NV12;
    const int chromaWidth = (width + 1) / 2;
    const int chromaHeight = (height + 1) / 2;
    for (int row = 0; row < height; ++row) {
        std::fill_n(frame->data[0] + row * frame->linesize[0], width, y);
    }
    for (int row = 0; row < chromaHeight; ++row) {
        if (nv12) {
            std::uint8_t* line = frame->data[1] + row * frame->linesize[1];
            for (int x = 0; x < chromaWidth; ++x) {
                line[2 * x] = cb;
                line[2 * x + 1] = cr;
            }
        } else {
            std::fill_n(frame->data[1] + row * frame->linesize[1], chromaWidth, cb);
            std::fill_n(frame->data[2] + row * frame->linesize[2], chromaWidth, cr);
        }
    }
    return {std::move(buffer), 0, 0};
}

}  // namespace qm::test
