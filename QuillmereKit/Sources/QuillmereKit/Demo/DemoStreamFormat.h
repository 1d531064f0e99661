#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "QuillmereCore/Bytes.h"
#include "QuillmereCore/StreamTypes.h"
#include "QuillmereCore/TypedError.h"

namespace qm {

// Stream capture files (".qmstream"): a 12-byte big-endian header, "QMST", version 1 and the
// video codec's FourCC, then the video socket's framed packets exactly as the server sent them,
// up to the end of the file.
namespace DemoStreamFormat {

inline constexpr std::array<std::uint8_t, 4> magic = {'Q', 'M', 'S', 'T'};
inline constexpr std::uint32_t version = 1;
inline constexpr std::size_t headerSize = 12;

struct Header {
    std::uint32_t version = DemoStreamFormat::version;
    VideoCodec codec = VideoCodec::h264;

    bool operator==(const Header&) const = default;
};

enum class FormatErrorKind { unsupportedVersion, unknownCodec, truncated, badMagic };

// The message is the case itself, as shown to the user: "badMagic", "unsupportedVersion(2)".
class FormatError : public TypedError<FormatErrorKind> {
public:
    static FormatError unsupportedVersion(std::uint32_t version);
    static FormatError unknownCodec(std::uint32_t codec);
    static FormatError truncated();
    static FormatError badMagic();

private:
    using TypedError::TypedError;
};

struct ParsedStream {
    Header header;
    ByteView body;  // a view into the parsed data, possibly empty
};

Bytes header(VideoCodec codec);

// Checks the header in the order truncated, magic, version, codec; never reads past `data`.
ParsedStream parse(ByteView data);

}  // namespace DemoStreamFormat

}  // namespace qm
