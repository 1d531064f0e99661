#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "QuillmereCore/Bytes.h"

// Text received from a phone is UTF-8 that nobody checked; these never fail on it.
namespace qm::UnicodeText {

// Every ill-formed sequence (each maximal invalid subpart) becomes U+FFFD.
std::string decodeUTF8(ByteView bytes);

// Splits at every line break (LF, VT, FF, CR, CR LF, NEL, LS, PS), keeping empty lines: "a\n"
// gives "a" and "".
std::vector<std::string_view> splitLines(std::string_view text);

// Without leading and trailing white space and line breaks, Unicode ones included.
std::string_view trimmed(std::string_view text);

}  // namespace qm::UnicodeText
