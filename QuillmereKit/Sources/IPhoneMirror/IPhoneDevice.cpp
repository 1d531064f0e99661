#include "IPhoneMirror/IPhoneDevice.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace qm {

namespace {

bool isLetter(char c) {
    const auto byte = static_cast<unsigned char>(c);
    // Bytes of non-ASCII characters count as letters, so they never start or end a word.
    return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || byte >= 0x80;
}

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Whether `word` starts a word of `text` and is not followed by another letter ("iPhone 15",
// "iPhone15"), ignoring ASCII case; "Kiosk" does not name iOS.
bool namesWord(std::string_view text, std::string_view word) {
    for (std::size_t at = 0; at + word.size() <= text.size(); ++at) {
        const bool startsWord = at == 0 || !isLetter(text[at - 1]);
        const std::size_t end = at + word.size();
        const bool endsWord = end == text.size() || !isLetter(text[end]);
        if (startsWord && endsWord &&
            std::equal(word.begin(), word.end(), text.begin() + at,
                       [](char w, char t) { return w == lower(t); })) {
            return true;
        }
    }
    return false;
}

}  // namespace

bool IPhoneDevice::isIOSScreen(const VideoInput& input) {
    static constexpr std::array<std::string_view, 3> appleWords = {"iphone", "ipad", "ios"};
    return std::any_of(appleWords.begin(), appleWords.end(),
                       [&](std::string_view word) { return namesWord(input.name, word); });
}

std::vector<IPhoneDevice> ScreenCaptureDevices::current(const CaptureDeviceSource& source,
                                                        const VideoInputFilter& offered) {
    std::vector<IPhoneDevice> devices;
    for (VideoInput& input : source.videoInputs()) {
        if (offered(input)) {
            devices.push_back({std::move(input.id), std::move(input.name)});
        }
    }
    return devices;
}

}  // namespace qm
