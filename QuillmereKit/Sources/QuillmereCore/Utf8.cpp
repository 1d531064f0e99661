#include "QuillmereCore/Utf8.h"

namespace qm {

namespace {

constexpr std::string_view replacement = "\xEF\xBF\xBD";

// Length of the well-formed sequence a lead byte starts, and the range its second byte must
// fall in (which excludes overlongs, surrogates and values above U+10FFFF); 0 for a bad lead.
struct Lead {
    std::size_t length;
    std::uint8_t low;
    std::uint8_t high;
};

constexpr Lead leadOf(std::uint8_t byte) noexcept {
    if (byte < 0x80) {
        return {1, 0, 0};
    }
    if (byte >= 0xC2 && byte <= 0xDF) {
        return {2, 0x80, 0xBF};
    }
    if (byte == 0xE0) {
        return {3, 0xA0, 0xBF};
    }
    if (byte == 0xED) {
        return {3, 0x80, 0x9F};
    }
    if (byte >= 0xE1 && byte <= 0xEF) {
        return {3, 0x80, 0xBF};
    }
    if (byte == 0xF0) {
        return {4, 0x90, 0xBF};
    }
    if (byte >= 0xF1 && byte <= 0xF3) {
        return {4, 0x80, 0xBF};
    }
    if (byte == 0xF4) {
        return {4, 0x80, 0x8F};
    }
    return {0, 0, 0};
}

}  // namespace

std::string decodeUtf8Lossy(ByteView bytes) {
    std::string out;
    out.reserve(bytes.size());
    std::size_t i = 0;
    std::size_t validFrom = 0;  // start of the pending run of well-formed bytes
    auto flush = [&](std::size_t end) {
        out.append(asText(bytes.subspan(validFrom, end - validFrom)));
    };
    while (i < bytes.size()) {
        const Lead lead = leadOf(bytes[i]);
        if (lead.length == 1) {
            ++i;
            continue;
        }
        // Count how much of the sequence is well formed; a shortfall is one maximal subpart.
        std::size_t good = lead.length == 0 ? 0 : 1;
        while (good > 0 && good < lead.length && i + good < bytes.size()) {
            const std::uint8_t next = bytes[i + good];
            const bool fits = good == 1 ? (next >= lead.low && next <= lead.high)
                                        : (next >= 0x80 && next <= 0xBF);
            if (!fits) {
                break;
            }
            ++good;
        }
        if (good == lead.length && good > 0) {
            i += good;
            continue;
        }
        flush(i);
        out.append(replacement);
        i += good == 0 ? 1 : good;
        validFrom = i;
    }
    flush(i);
    return out;
}

}  // namespace qm
