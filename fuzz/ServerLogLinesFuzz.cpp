// Input: the device server's output, repeated until lines without a line feed have been cut
// at the length limit several times, at many offsets. Every line and piece must be well-formed
// UTF-8, and for well-formed output no cut may split a character into replacement characters.
#include <string_view>

#include "FuzzCheck.h"
#include "QuillmereCore/UnicodeText.h"
#include "QuillmereKit/Session/ServerLogLines.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::string_view output(reinterpret_cast<const char*>(data), size);
    const bool wellFormed = qm::UnicodeText::isWellFormedUTF8(output) &&
                            output.find("\xEF\xBF\xBD") == std::string_view::npos;
    qm::ServerLogLines lines;
    for (std::size_t pushed = 0; pushed < 3 * qm::ServerLogLines::maxLineBytes;) {
        for (const std::uint8_t byte : output) {
            if (const auto line = lines.push(byte)) {
                qm::fuzz::check(qm::UnicodeText::isWellFormedUTF8(*line));
                qm::fuzz::check(!wellFormed || line->find("\xEF\xBF\xBD") == std::string::npos);
            }
        }
        pushed += size;
    }
    return 0;
}
