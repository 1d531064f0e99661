#include "DeviceLink/DeviceBanner.h"

#include <string_view>
#include <vector>

#include "DeviceLink/AdbMessage.h"
#include "QuillmereCore/UnicodeText.h"

namespace qm {

namespace {

// Calls `each` for every non-empty piece between separators.
template <typename Each>
void forEachPiece(std::string_view text, char separator, Each each) {
    while (!text.empty()) {
        const std::size_t at = text.find(separator);
        const std::string_view piece = text.substr(0, at);
        if (!piece.empty()) {
            each(piece);
        }
        text = at == std::string_view::npos ? std::string_view() : text.substr(at + 1);
    }
}

}  // namespace

DeviceBanner DeviceBanner::parse(ByteView payload) {
    const std::string decoded = UnicodeText::decodeUTF8(payload);
    std::string_view text = decoded;
    while (!text.empty() && text.back() == '\0') {
        text.remove_suffix(1);
    }
    const std::size_t firstColon = text.find(':');
    if (firstColon == std::string_view::npos || firstColon == 0) {
        throw AdbError::protocolViolation("malformed device banner (" +
                                          std::to_string(UnicodeText::characterCount(text)) +
                                          " characters)");
    }
    DeviceBanner banner;
    banner.state = text.substr(0, firstColon);
    const std::size_t secondColon = text.find(':', firstColon + 1);
    if (secondColon == std::string_view::npos) {
        return banner;
    }
    forEachPiece(text.substr(secondColon + 1), ';', [&](std::string_view item) {
        const std::size_t equals = item.find('=');
        if (equals == std::string_view::npos) {
            return;
        }
        const std::string_view key = item.substr(0, equals);
        const std::string_view value = item.substr(equals + 1);
        if (key == "features") {
            banner.features.clear();
            forEachPiece(value, ',', [&](std::string_view name) { banner.features.emplace(name); });
        } else {
            banner.properties.insert_or_assign(std::string(key), std::string(value));
        }
    });
    return banner;
}

}  // namespace qm
