#include "QuillmereCore/Base64.h"

#include <string_view>

namespace qm {

std::string base64(ByteView bytes) {
    static constexpr std::string_view alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const std::uint32_t group = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
        for (const int shift : {18, 12, 6, 0}) {
            text += alphabet[(group >> shift) & 0x3f];
        }
    }
    if (const std::size_t left = bytes.size() - i; left > 0) {
        const std::uint32_t group = (bytes[i] << 16) | (left == 2 ? bytes[i + 1] << 8 : 0);
        text += alphabet[(group >> 18) & 0x3f];
        text += alphabet[(group >> 12) & 0x3f];
        text += left == 2 ? alphabet[(group >> 6) & 0x3f] : '=';
        text += '=';
    }
    return text;
}

}  // namespace qm
