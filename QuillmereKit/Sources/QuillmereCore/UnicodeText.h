#pragma once

#include <cstddef>
#include <optional>
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

// The longest start of `text` of whole characters, at most `maxCharacters` of them in at most
// `maxBytes` bytes. Looks at a bounded prefix only.
std::string_view leadingCharacters(std::string_view text, std::size_t maxCharacters,
                                   std::size_t maxBytes);

// What a reader does not see, or sees as something it is not: C0 and C1 controls, DEL, format
// characters (bidirectional and zero-width controls, tags, prepended marks), the rest of the
// default-ignorable set (fillers, variation selectors), separators and spaces but the ASCII space,
// the braille blank and the object replacement character.
bool isHidden(char32_t c) noexcept;

// The bidirectional controls, which show text in another order than it has.
bool reordersText(char32_t c) noexcept;

// The first hidden character that does not belong where it stands; nothing when there is none.
// Joiners, variation selectors and tags inside an emoji belong: they make one picture of it.
// Ill-formed UTF-8 counts as U+FFFD, which is not hidden.
std::optional<char32_t> firstHiddenCharacter(std::string_view text);

// A name from a file as a person can read it: line breaks, tabs and other blanks become a space,
// the other hidden characters are dropped (those inside emoji stay), the ends are trimmed.
std::string withoutHiddenCharacters(std::string_view text);

// Every hidden character, those inside emoji too, and the backslash that begins an escape,
// written as "\n", "\r", "\t", "\\", "\xHH", "\uHHHH" or "\UHHHHHHHH": one line with nothing in it
// that drives a terminal or hides or reorders text. Ill-formed UTF-8 as U+FFFD.
std::string escaped(std::string_view text);

// Outside text as a message shows it: at most `maxCharacters` characters as shown, each escape
// counting as long as it is, then "…" when there was more; on one line, the hidden characters but
// those inside emoji escaped as above (a backslash stays as it is), isolated. A character of more
// bytes than any real one ends it. Looks at a bounded prefix only, so that a value of megabytes
// costs nothing.
std::string excerpt(std::string_view text, std::size_t maxCharacters = 40);

// The excerpt in double quotes, as a message quotes a value or a name it did not write.
std::string quoted(std::string_view text, std::size_t maxCharacters = 40);

// The text between a first-strong isolate and its pop when it holds right-to-left characters,
// so that it reads as one run inside other text and moves nothing around it; else unchanged.
// The text must hold no bidirectional controls (a cleaned name, an excerpt).
std::string isolated(std::string_view text);

}  // namespace qm::UnicodeText
