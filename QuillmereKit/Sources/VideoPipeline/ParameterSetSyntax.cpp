#include "VideoPipeline/ParameterSetSyntax.h"

#include <algorithm>

namespace qm {

namespace {

// Even with full scaling lists and a 255-entry order count cycle a set stays within this;
// more is never read.
constexpr std::size_t maxPayloadRead = 4096;

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

    std::int64_t se() {
        const std::uint32_t code = ue();
        const auto magnitude = static_cast<std::int64_t>(code / 2 + (code & 1));
        return (code & 1) ? magnitude : -magnitude;
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

struct Chroma {
    std::uint8_t formatIdc = 1;
    bool separatePlanes = false;

    // Crop offsets count chroma samples: 4:2:0 halves both ways, 4:2:2 only across.
    std::uint32_t unitX() const {
        return !separatePlanes && formatIdc != 3 && formatIdc != 0 ? 2 : 1;
    }
    std::uint32_t unitY() const { return !separatePlanes && formatIdc == 1 ? 2 : 1; }
};

std::optional<Chroma> readChroma(BitReader& reader) {
    Chroma chroma;
    const std::uint32_t format = reader.ue();
    if (reader.failed() || format > 3) {
        return std::nullopt;
    }
    chroma.formatIdc = static_cast<std::uint8_t>(format);
    if (format == 3) {
        chroma.separatePlanes = reader.bits(1) != 0;
    }
    return chroma;
}

bool readBitDepths(BitReader& reader, std::uint8_t& luma, std::uint8_t& chroma) {
    const std::uint32_t lumaMinus8 = reader.ue();
    const std::uint32_t chromaMinus8 = reader.ue();
    if (reader.failed() || lumaMinus8 > 7 || chromaMinus8 > 7) {
        return false;
    }
    luma = static_cast<std::uint8_t>(lumaMinus8);
    chroma = static_cast<std::uint8_t>(chromaMinus8);
    return true;
}

struct Window {
    std::uint32_t left = 0, right = 0, top = 0, bottom = 0;
};

Window readWindow(BitReader& reader) {
    Window window;
    window.left = reader.ue();
    window.right = reader.ue();
    window.top = reader.ue();
    window.bottom = reader.ue();
    return window;
}

constexpr std::uint64_t maxDimension = 65535;

std::optional<VideoSize> cropped(std::uint64_t codedWidth, std::uint64_t codedHeight,
                                 const Window& window, std::uint64_t unitX, std::uint64_t unitY) {
    const std::uint64_t cropX = unitX * (std::uint64_t(window.left) + window.right);
    const std::uint64_t cropY = unitY * (std::uint64_t(window.top) + window.bottom);
    if (codedWidth > maxDimension || codedHeight > maxDimension || cropX >= codedWidth ||
        cropY >= codedHeight) {
        return std::nullopt;
    }
    return VideoSize{static_cast<int>(codedWidth - cropX), static_cast<int>(codedHeight - cropY)};
}

// From profile_idc through the bit depths.
std::optional<AvcSequenceInfo> readAvc(BitReader& reader, Chroma& chroma) {
    AvcSequenceInfo info;
    info.profileIdc = static_cast<std::uint8_t>(reader.bits(8));
    info.constraintFlags = static_cast<std::uint8_t>(reader.bits(8));
    info.levelIdc = static_cast<std::uint8_t>(reader.bits(8));
    const std::uint32_t id = reader.ue();
    if (reader.failed() || id > 31) {
        return std::nullopt;
    }
    if (hasChromaFields(info.profileIdc)) {
        const auto read = readChroma(reader);
        if (!read || !readBitDepths(reader, info.bitDepthLumaMinus8, info.bitDepthChromaMinus8)) {
            return std::nullopt;
        }
        chroma = *read;
        info.chromaFormatIdc = chroma.formatIdc;
    }
    return info;
}

bool skipScalingList(BitReader& reader, int size) {
    std::int32_t last = 8, next = 8;
    for (int j = 0; j < size && !reader.failed(); ++j) {
        if (next != 0) {
            const std::int64_t delta = reader.se();
            if (delta < -128 || delta > 127) {
                return false;
            }
            next = static_cast<std::int32_t>((last + delta + 256) % 256);
        }
        last = next == 0 ? last : next;
    }
    return !reader.failed();
}

// From the end of readAvc() through the cropping window.
std::optional<VideoSize> readAvcSize(BitReader& reader, const AvcSequenceInfo& info,
                                     const Chroma& chroma) {
    if (hasChromaFields(info.profileIdc)) {
        reader.skip(1);  // qpprime_y_zero_transform_bypass_flag
        if (reader.bits(1)) {
            const int lists = chroma.formatIdc != 3 ? 8 : 12;
            for (int i = 0; i < lists; ++i) {
                if (reader.bits(1) && !skipScalingList(reader, i < 6 ? 16 : 64)) {
                    return std::nullopt;
                }
            }
        }
    }
    reader.ue();  // log2_max_frame_num_minus4
    const std::uint32_t pocType = reader.ue();
    if (pocType == 0) {
        reader.ue();  // log2_max_pic_order_cnt_lsb_minus4
    } else if (pocType == 1) {
        reader.skip(1);  // delta_pic_order_always_zero_flag
        reader.se();     // offset_for_non_ref_pic
        reader.se();     // offset_for_top_to_bottom_field
        const std::uint32_t cycle = reader.ue();
        if (cycle > 255) {
            return std::nullopt;
        }
        for (std::uint32_t i = 0; i < cycle && !reader.failed(); ++i) {
            reader.se();
        }
    } else if (pocType > 2) {
        return std::nullopt;
    }
    reader.ue();     // max_num_ref_frames
    reader.skip(1);  // gaps_in_frame_num_value_allowed_flag
    const std::uint64_t widthInMbs = std::uint64_t(reader.ue()) + 1;
    const std::uint64_t heightInMapUnits = std::uint64_t(reader.ue()) + 1;
    const bool frameMbsOnly = reader.bits(1) != 0;
    if (!frameMbsOnly) {
        reader.skip(1);  // mb_adaptive_frame_field_flag
    }
    reader.skip(1);  // direct_8x8_inference_flag
    const Window window = reader.bits(1) ? readWindow(reader) : Window{};
    if (reader.failed()) {
        return std::nullopt;
    }
    const std::uint64_t fieldFactor = frameMbsOnly ? 1 : 2;
    return cropped(widthInMbs * 16, heightInMapUnits * 16 * fieldFactor, window, chroma.unitX(),
                   chroma.unitY() * fieldFactor);
}

// Through the bit depths; `size` receives the cropped size read on the way.
std::optional<HevcSequenceInfo> readHevc(ByteView payload, std::optional<VideoSize>& size) {
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
    const auto chroma = readChroma(reader);
    if (!chroma) {
        return std::nullopt;
    }
    info.chromaFormatIdc = chroma->formatIdc;
    const std::uint64_t width = reader.ue();
    const std::uint64_t height = reader.ue();
    const Window window = reader.bits(1) ? readWindow(reader) : Window{};
    if (!readBitDepths(reader, info.bitDepthLumaMinus8, info.bitDepthChromaMinus8)) {
        return std::nullopt;
    }
    size = cropped(width, height, window, chroma->unitX(), chroma->unitY());
    return info;
}

}  // namespace

std::optional<AvcSequenceInfo> parseAvcSequence(ByteView sps) {
    const Bytes payload = unescapedPayload(sps, 1);
    BitReader reader(payload);
    Chroma chroma;
    return readAvc(reader, chroma);
}

std::optional<HevcSequenceInfo> parseHevcSequence(ByteView sps) {
    std::optional<VideoSize> size;
    return readHevc(unescapedPayload(sps, 2), size);
}

std::optional<VideoSize> croppedPictureSize(VideoCodec codec, ByteView sps) {
    if (codec == VideoCodec::h265) {
        std::optional<VideoSize> size;
        return readHevc(unescapedPayload(sps, 2), size) ? size : std::nullopt;
    }
    const Bytes payload = unescapedPayload(sps, 1);
    BitReader reader(payload);
    Chroma chroma;
    const auto info = readAvc(reader, chroma);
    return info ? readAvcSize(reader, *info, chroma) : std::nullopt;
}

}  // namespace qm
