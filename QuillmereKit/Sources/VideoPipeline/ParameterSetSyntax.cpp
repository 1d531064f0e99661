#include "VideoPipeline/ParameterSetSyntax.h"

#include <algorithm>

namespace qm {

namespace {

// The fields parsed here sit within the first bytes of a set; more is never read.
constexpr std::size_t maxPayloadRead = 512;

Bytes unescapedPayload(ByteView unit, std::size_t headerBytes) {
    Bytes out;
    const std::size_t end = std::min(unit.size(), headerBytes + maxPayloadRead);
    out.reserve(end);
    int zeros = 0;
    for (std::size_t i = headerBytes; i < end; ++i) {
        const std::uint8_t byte = unit[i];
        if (zeros >= 2 && byte == 3) {
            zeros = 0;
            continue;
        }
        zeros = byte == 0 ? zeros + 1 : 0;
        out.push_back(byte);
    }
    return out;
}

// Reads bits most significant first; any read past the end marks the reader failed.
class BitReader {
public:
    explicit BitReader(ByteView data) : data_(data) {}

    bool failed() const noexcept { return failed_; }

    std::uint32_t bits(int count) {
        std::uint32_t value = 0;
        for (int i = 0; i < count; ++i) {
            if (position_ >= data_.size() * 8) {
                failed_ = true;
                return 0;
            }
            const std::uint8_t byte = data_[position_ / 8];
            value = (value << 1) | ((byte >> (7 - position_ % 8)) & 1u);
            ++position_;
        }
        return value;
    }

    void skip(std::size_t count) {
        position_ += count;
        if (position_ > data_.size() * 8) {
            failed_ = true;
        }
    }

    // Exp-Golomb; more than 31 leading zeros is not a valid code.
    std::uint32_t ue() {
        int zeros = 0;
        while (!failed_ && bits(1) == 0) {
            if (++zeros > 31) {
                failed_ = true;
                return 0;
            }
        }
        if (failed_) {
            return 0;
        }
        return static_cast<std::uint32_t>((std::uint64_t(1) << zeros) - 1 + bits(zeros));
    }

private:
    ByteView data_;
    std::size_t position_ = 0;
    bool failed_ = false;
};

bool hasChromaFields(std::uint8_t profileIdc) {
    switch (profileIdc) {
        case 100:
        case 110:
        case 122:
        case 244:
        case 44:
        case 83:
        case 86:
        case 118:
        case 128:
        case 138:
        case 139:
        case 134:
        case 135:
            return true;
        default:
            return false;
    }
}

bool readChromaAndDepth(BitReader& reader, std::uint8_t& chroma, std::uint8_t& luma,
                        std::uint8_t& chromaDepth, bool hevcSize) {
    const std::uint32_t chromaFormat = reader.ue();
    if (chromaFormat > 3) {
        return false;
    }
    if (chromaFormat == 3) {
        reader.skip(1);  // separate_colour_plane_flag
    }
    if (hevcSize) {
        reader.ue();  // pic_width_in_luma_samples
        reader.ue();  // pic_height_in_luma_samples
        if (reader.bits(1)) {
            for (int i = 0; i < 4; ++i) {
                reader.ue();  // conformance window offsets
            }
        }
    }
    const std::uint32_t lumaMinus8 = reader.ue();
    const std::uint32_t chromaMinus8 = reader.ue();
    if (reader.failed() || lumaMinus8 > 7 || chromaMinus8 > 7) {
        return false;
    }
    chroma = static_cast<std::uint8_t>(chromaFormat);
    luma = static_cast<std::uint8_t>(lumaMinus8);
    chromaDepth = static_cast<std::uint8_t>(chromaMinus8);
    return true;
}

}  // namespace

std::optional<AvcSequenceInfo> parseAvcSequence(ByteView sps) {
    const Bytes payload = unescapedPayload(sps, 1);
    BitReader reader(payload);
    AvcSequenceInfo info;
    info.profileIdc = static_cast<std::uint8_t>(reader.bits(8));
    info.constraintFlags = static_cast<std::uint8_t>(reader.bits(8));
    info.levelIdc = static_cast<std::uint8_t>(reader.bits(8));
    const std::uint32_t id = reader.ue();
    if (reader.failed() || id > 31) {
        return std::nullopt;
    }
    if (hasChromaFields(info.profileIdc) &&
        !readChromaAndDepth(reader, info.chromaFormatIdc, info.bitDepthLumaMinus8,
                            info.bitDepthChromaMinus8, false)) {
        return std::nullopt;
    }
    return info;
}

std::optional<HevcSequenceInfo> parseHevcSequence(ByteView sps) {
    const Bytes payload = unescapedPayload(sps, 2);
    BitReader reader(payload);
    HevcSequenceInfo info;
    reader.skip(4);  // sps_video_parameter_set_id
    info.maxSubLayersMinus1 = static_cast<std::uint8_t>(reader.bits(3));
    info.temporalIdNesting = reader.bits(1) != 0;
    if (reader.failed() || info.maxSubLayersMinus1 > 6 || payload.size() < 13) {
        return std::nullopt;
    }
    std::copy_n(payload.begin() + 1, info.generalProfileTierLevel.size(),
                info.generalProfileTierLevel.begin());
    reader.skip(96);
    const int subLayers = info.maxSubLayersMinus1;
    bool profilePresent[8] = {};
    bool levelPresent[8] = {};
    for (int i = 0; i < subLayers; ++i) {
        profilePresent[i] = reader.bits(1) != 0;
        levelPresent[i] = reader.bits(1) != 0;
    }
    if (subLayers > 0) {
        reader.skip(2 * static_cast<std::size_t>(8 - subLayers));
    }
    for (int i = 0; i < subLayers; ++i) {
        reader.skip((profilePresent[i] ? 88 : 0) + (levelPresent[i] ? 8 : 0));
    }
    const std::uint32_t id = reader.ue();
    if (reader.failed() || id > 15) {
        return std::nullopt;
    }
    if (!readChromaAndDepth(reader, info.chromaFormatIdc, info.bitDepthLumaMinus8,
                            info.bitDepthChromaMinus8, true)) {
        return std::nullopt;
    }
    return info;
}

}  // namespace qm
