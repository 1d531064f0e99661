#include "QuillmereKit/Demo/DemoStreamFormat.h"

#include <algorithm>

#include <fmt/format.h>

#include "QuillmereCore/BinaryReader.h"
#include "QuillmereCore/BinaryWriter.h"

namespace qm {

namespace DemoStreamFormat {

FormatError FormatError::unsupportedVersion(std::uint32_t value) {
    return {Kind::unsupportedVersion, fmt::format("unsupportedVersion({})", value)};
}

FormatError FormatError::unknownCodec(std::uint32_t codec) {
    return {Kind::unknownCodec, fmt::format("unknownCodec({})", codec)};
}

FormatError FormatError::truncated() {
    return {Kind::truncated, "truncated"};
}

FormatError FormatError::badMagic() {
    return {Kind::badMagic, "badMagic"};
}

Bytes header(VideoCodec codec) {
    BinaryWriter writer;
    writer.reserve(headerSize);
    writer.bytes(magic);
    writer.u32(version);
    writer.u32(rawValue(codec));
    return writer.take();
}

ParsedStream parse(ByteView data) {
    if (data.size() < headerSize) {
        throw FormatError::truncated();
    }
    if (!std::equal(magic.begin(), magic.end(), data.begin())) {
        throw FormatError::badMagic();
    }
    BinaryReader reader(data.subspan(magic.size(), headerSize - magic.size()));
    const std::uint32_t fileVersion = reader.u32();
    if (fileVersion != version) {
        throw FormatError::unsupportedVersion(fileVersion);
    }
    const std::uint32_t rawCodec = reader.u32();
    const std::optional<VideoCodec> codec = fromRawValue<VideoCodec>(rawCodec);
    if (!codec) {
        throw FormatError::unknownCodec(rawCodec);
    }
    return {Header{fileVersion, *codec}, data.subspan(headerSize)};
}

}  // namespace DemoStreamFormat

}  // namespace qm
