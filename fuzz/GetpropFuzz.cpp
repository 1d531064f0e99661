// Input: what the getprop command line printed. A parse either yields five trimmed values or
// fails with a protocol violation; it never reads past the lines it was given.
#include <cstdlib>

#include "DeviceLink/AdbMessage.h"
#include "DeviceLink/DeviceInfo.h"
#include "FuzzCheck.h"
#include "QuillmereCore/UnicodeText.h"

using qm::fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view output(reinterpret_cast<const char*>(data), size);
    try {
        const qm::DeviceInfo info = qm::DeviceInfoQuery::parse(output);
        const auto lines = qm::UnicodeText::splitLines(output);
        check(lines.size() >= 5);
        check(info.serial == qm::UnicodeText::trimmed(lines[0]));
        check(info.androidRelease == qm::UnicodeText::trimmed(lines[3]));
        check(qm::UnicodeText::trimmed(info.model) == info.model);
    } catch (const qm::AdbError& error) {
        check(error.kind() == qm::AdbErrorKind::protocolViolation);
    }
    return 0;
}
