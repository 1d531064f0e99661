#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "QuillmereCore/Bytes.h"

// Text received from a phone is UTF-8 that nobody checked; these never fail on it.
namespace qm::UnicodeText {

// Every ill-formed sequence (each maximal invalid subpart) becomes U+FFFD.
std::string decodeUTF8(ByteView bytes);

// UTF-16 in little-endian byte order, as USB string descriptors hold it, to UTF-8. An unpaired
// surrogate, and an odd last byte, become U+FFFD.
std::string decodeUTF16LE(ByteView bytes);

// Splits at every line break (LF, VT, FF, CR, CR LF, NEL, LS, PS), keeping empty lines: "a\n"
// gives "a" and "".
std::vector<std::string_view> splitLines(std::string_view text);

// Without leading and trailing white space and line breaks, Unicode ones included.
std::string_view trimmed(std::string_view text);

// Whether the text is well-formed UTF-8: no stray bytes, overlong forms or surrogates.
bool isWellFormedUTF8(std::string_view text) noexcept;

// LF, VT, FF, CR, NEL and the line and paragraph separators.
bool isLineBreak(char32_t c) noexcept;

// User-perceived characters (extended grapheme clusters): "e" with a combining accent, a flag or
// a family emoji is one. Each ill-formed sequence counts as one U+FFFD.
std::size_t characterCount(std::string_view text);

// The user-perceived characters themselves, in order, as views into `text`.
std::vector<std::string_view> characters(std::string_view text);

}  // namespace qm::UnicodeText
