#include "Recorder/AnnexBSamples.h"

#include "QuillmereCore/BinaryWriter.h"
#include "VideoPipeline/FormatDescription.h"

namespace qm {

namespace AnnexBSamples {

namespace {

bool isHevc(std::uint32_t codec) {
    return codec == FormatDescription::hvc1;
}

}  // namespace

std::vector<ByteView> nalUnits(ByteView data) {
    std::vector<ByteView> units;
    const std::size_t n = data.size();
    std::size_t unitStart = 0;
    bool open = false;
    std::size_t i = 0;
    while (i + 2 < n) {
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) {
            // One zero before 00 00 01 belongs to a 4-byte start code; more stay in the unit.
            const std::size_t codeStart = (i > 0 && data[i - 1] == 0) ? i - 1 : i;
            if (open && codeStart > unitStart) {
                units.push_back(data.subspan(unitStart, codeStart - unitStart));
            }
            unitStart = i + 3;
            open = true;
            i += 3;
        } else {
            ++i;
        }
    }
    if (open && n > unitStart) {
        units.push_back(data.subspan(unitStart));
    }
    return units;
}

std::optional<std::uint8_t> nalType(ByteView unit, std::uint32_t codec) {
    if (unit.empty()) {
        return std::nullopt;
    }
    return isHevc(codec) ? static_cast<std::uint8_t>((unit[0] >> 1) & 0x3F)
                         : static_cast<std::uint8_t>(unit[0] & 0x1F);
}

bool isOutOfBand(ByteView unit, std::uint32_t codec) {
    if (unit.empty()) {
        return false;
    }
    if (isHevc(codec)) {
        return (unit[0] & 0x78) == 0x40;  // types 32 to 35, forbidden bit ignored
    }
    const std::uint8_t type = unit[0] & 0x1F;
    return type == 7 || type == 8 || type == 9;
}

Bytes lengthPrefixed(ByteView data, std::uint32_t codec) {
    BinaryWriter writer;
    writer.reserve(data.size() + 16);
    for (ByteView unit : nalUnits(data)) {
        if (!isOutOfBand(unit, codec)) {
            writer.lengthPrefixed(unit, 4);
        }
    }
    return writer.take();
}

}  // namespace AnnexBSamples

}  // namespace qm
