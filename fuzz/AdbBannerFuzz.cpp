// Input: the payload of a phone's CNXN. A banner that parses has a state with no colon and no
// empty feature names; its text is well-formed UTF-8 whatever the input.
#include <cstdlib>

#include "DeviceLink/AdbMessage.h"
#include "DeviceLink/DeviceBanner.h"
#include "FuzzCheck.h"
#include "QuillmereCore/UnicodeText.h"

using qm::fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const qm::ByteView input(data, size);
    const std::string text = qm::UnicodeText::decodeUTF8(input);
    check(qm::UnicodeText::decodeUTF8(qm::asBytes(text)) == text);
    try {
        const qm::DeviceBanner banner = qm::DeviceBanner::parse(input);
        check(!banner.state.empty());
        check(banner.state.find(':') == std::string::npos);
        for (const std::string& feature : banner.features) {
            check(!feature.empty() && feature.find(',') == std::string::npos);
        }
        for (const auto& [key, value] : banner.properties) {
            check(key != "features" && key.find(';') == std::string::npos);
            check(value.find(';') == std::string::npos);
        }
    } catch (const qm::AdbError& error) {
        check(error.kind() == qm::AdbErrorKind::protocolViolation);
    }
    return 0;
}
