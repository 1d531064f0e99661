#include "VideoPipeline/AnnexB.h"

#include <cstring>
#include <limits>
#include <stdexcept>

#include "VideoPipeline/VideoPipelineError.h"

namespace qm {

namespace AnnexB {

namespace {

void appendTrimmed(ByteView data, std::size_t start, std::size_t end,
                   std::vector<ByteView>& units) {
    while (end > start && data[end - 1] == 0) {
        --end;
    }
    if (end > start) {
        units.push_back(data.subspan(start, end - start));
    }
}

}  // namespace

void nalUnits(ByteView data, std::vector<ByteView>& units) {
    units.clear();
    const std::size_t n = data.size();
    const std::uint8_t* p = data.data();
    std::optional<std::size_t> start;
    std::size_t i = 0;
    while (i + 2 < n) {
        // No start code can begin at i, i+1 or i+2 when byte i+2 is above 1.
        if (p[i + 2] > 1) {
            i += 3;
            continue;
        }
        if (p[i + 2] == 1 && p[i + 1] == 0 && p[i] == 0) {
            if (start && *start < i) {
                appendTrimmed(data, *start, i, units);
            }
            start = i + 3;
            i += 3;
        } else {
            ++i;
        }
    }
    if (start && *start < n) {
        appendTrimmed(data, *start, n, units);
    }
}

std::vector<ByteView> nalUnits(ByteView data) {
    std::vector<ByteView> units;
    nalUnits(data, units);
    return units;
}

std::optional<VideoCodec> detectCodec(ByteView config) {
    for (ByteView unit : nalUnits(config)) {
        const std::uint8_t h = unit[0];
        if ((h & 0x7E) == 0x40) {
            return VideoCodec::h265;
        }
        if ((h & 0x1F) == 7) {
            return VideoCodec::h264;
        }
    }
    return std::nullopt;
}

bool isRandomAccess(VideoCodec codec, ByteView unit) {
    if (unit.empty()) {
        return false;
    }
    if (codec == VideoCodec::h264) {
        return (unit[0] & 0x1F) == 5;
    }
    const int type = (unit[0] >> 1) & 0x3F;
    return type >= 16 && type <= 23;
}

ParameterSets parameterSets(VideoCodec codec, ByteView config) {
    std::optional<ByteView> vps, sps, pps;
    auto keepFirst = [](std::optional<ByteView>& slot, ByteView unit) {
        if (!slot) {
            slot = unit;
        }
    };
    for (ByteView unit : nalUnits(config)) {
        const std::uint8_t h = unit[0];
        if (codec == VideoCodec::h265) {
            switch ((h >> 1) & 0x3F) {
                case 32:
                    keepFirst(vps, unit);
                    break;
                case 33:
                    keepFirst(sps, unit);
                    break;
                case 34:
                    keepFirst(pps, unit);
                    break;
                default:
                    break;
            }
        } else {
            switch (h & 0x1F) {
                case 7:
                    keepFirst(sps, unit);
                    break;
                case 8:
                    keepFirst(pps, unit);
                    break;
                default:
                    break;
            }
        }
    }
    if (codec == VideoCodec::h265 && !vps) {
        throw VideoPipelineError::missingParameterSet("VPS");
    }
    if (!sps) {
        throw VideoPipelineError::missingParameterSet("SPS");
    }
    if (!pps) {
        throw VideoPipelineError::missingParameterSet("PPS");
    }
    ParameterSets sets{std::nullopt, Bytes(sps->begin(), sps->end()),
                       Bytes(pps->begin(), pps->end())};
    if (vps) {
        sets.vps = Bytes(vps->begin(), vps->end());
    }
    return sets;
}

std::size_t lengthPrefixedSize(std::span<const ByteView> units) {
    std::size_t total = 0;
    for (ByteView unit : units) {
        total += lengthPrefixSize + unit.size();
    }
    return total;
}

std::size_t writeLengthPrefixed(std::span<const ByteView> units, std::span<std::uint8_t> out) {
    if (out.size() < lengthPrefixedSize(units)) {
        throw std::length_error("length-prefixed output buffer too small");
    }
    std::uint8_t* cursor = out.data();
    for (ByteView unit : units) {
        if (unit.size() > std::numeric_limits<std::uint32_t>::max()) {
            throw std::length_error("NAL unit longer than its length field");
        }
        const auto size = static_cast<std::uint32_t>(unit.size());
        cursor[0] = static_cast<std::uint8_t>(size >> 24);
        cursor[1] = static_cast<std::uint8_t>(size >> 16);
        cursor[2] = static_cast<std::uint8_t>(size >> 8);
        cursor[3] = static_cast<std::uint8_t>(size);
        std::memcpy(cursor + lengthPrefixSize, unit.data(), unit.size());
        cursor += lengthPrefixSize + unit.size();
    }
    return static_cast<std::size_t>(cursor - out.data());
}

Bytes toLengthPrefixed(ByteView data) {
    const std::vector<ByteView> units = nalUnits(data);
    Bytes out(lengthPrefixedSize(units));
    writeLengthPrefixed(units, out);
    return out;
}

}  // namespace AnnexB

}  // namespace qm
