#include "QuillmereCore/UnicodeText.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <stdexcept>

#include <fmt/format.h>
#include <unicode/ubrk.h>
#include <unicode/uchar.h>
#include <unicode/ustring.h>
#include <unicode/utext.h>

namespace qm::UnicodeText {

bool isLineBreak(char32_t c) noexcept {
    return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

namespace {

constexpr std::string_view replacement = "\xEF\xBF\xBD";

// How many bytes of a well-formed sequence start at `at`; 0 with `invalid` set to the length of
// the maximal subpart to replace.
std::size_t sequenceLength(ByteView bytes, std::size_t at, std::size_t& invalid) {
    const std::uint8_t lead = bytes[at];
    std::size_t length = 0;
    std::uint8_t low = 0x80, high = 0xBF;  // range of the second byte
    if (lead < 0x80) {
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        invalid = 1;
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        const bool inRange = at + i < bytes.size() && bytes[at + i] >= (i == 1 ? low : 0x80) &&
                             bytes[at + i] <= (i == 1 ? high : 0xBF);
        if (!inRange) {
            invalid = i;
            return 0;
        }
    }
    return length;
}

// The code point of a line break or white space starting at `at`, with its byte length.
struct Scalar {
    char32_t value = 0;
    std::size_t length = 0;
};

Scalar scalarAt(std::string_view text, std::size_t at) {
    std::size_t invalid = 0;
    const ByteView bytes = asBytes(text);
    const std::size_t length = sequenceLength(bytes, at, invalid);
    if (length == 0) {
        return {0xFFFD, invalid};
    }
    char32_t value = length == 1 ? bytes[at] : bytes[at] & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        value = value << 6 | (bytes[at + i] & 0x3F);
    }
    return {value, length};
}

bool isWhiteSpaceOrLineBreak(char32_t c) {
    return c == 0x09 || c == 0x20 || isLineBreak(c) || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x202F || c == 0x205F || c == 0x3000;
}

struct BreakIteratorCloser {
    void operator()(UBreakIterator* iterator) const noexcept { ubrk_close(iterator); }
};
struct UTextCloser {
    void operator()(UText* text) const noexcept { utext_close(text); }
};

// Opening an iterator loads its rules, so each thread keeps one.
UBreakIterator& characterBreaks() {
    thread_local const std::unique_ptr<UBreakIterator, BreakIteratorCloser> iterator = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<UBreakIterator, BreakIteratorCloser> opened(
            ubrk_open(UBRK_CHARACTER, "", nullptr, 0, &status));
        if (U_FAILURE(status)) {
            throw std::runtime_error(std::string("ICU character breaks: ") + u_errorName(status));
        }
        return opened;
    }();
    return *iterator;
}

}  // namespace

std::string decodeUTF8(ByteView bytes) {
    std::string text;
    text.reserve(bytes.size());
    std::size_t at = 0;
    while (at < bytes.size()) {
        std::size_t invalid = 0;
        const std::size_t length = sequenceLength(bytes, at, invalid);
        if (length == 0) {
            text += replacement;
            at += invalid;
        } else {
            text.append(reinterpret_cast<const char*>(bytes.data() + at), length);
            at += length;
        }
    }
    return text;
}

std::string decodeUTF16LE(ByteView bytes) {
    std::u16string units(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i) {
        units[i] = static_cast<char16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
    }
    std::string text(units.size() * 3, '\0');  // the most UTF-8 that one unit becomes
    std::int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strToUTF8WithSub(text.data(), static_cast<std::int32_t>(text.size()), &length, units.data(),
                       static_cast<std::int32_t>(units.size()), 0xFFFD, nullptr, &status);
    text.resize(U_SUCCESS(status) ? static_cast<std::size_t>(length) : 0);
    if (bytes.size() % 2 != 0) {
        text += replacement;
    }
    return text;
}

std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    std::size_t at = 0;
    while (at < text.size()) {
        const Scalar scalar = scalarAt(text, at);
        if (!isLineBreak(scalar.value)) {
            at += scalar.length;
            continue;
        }
        lines.push_back(text.substr(start, at - start));
        at += scalar.length;
        if (scalar.value == '\r' && at < text.size() && text[at] == '\n') {
            ++at;
        }
        start = at;
    }
    lines.push_back(text.substr(start));
    return lines;
}

std::string_view trimmed(std::string_view text) {
    std::size_t start = 0;
    while (start < text.size()) {
        const Scalar scalar = scalarAt(text, start);
        if (!isWhiteSpaceOrLineBreak(scalar.value)) {
            break;
        }
        start += scalar.length;
    }
    // Scan forward, remembering where the last non-space scalar ended.
    std::size_t end = start;
    for (std::size_t at = start; at < text.size();) {
        const Scalar scalar = scalarAt(text, at);
        at += scalar.length;
        if (!isWhiteSpaceOrLineBreak(scalar.value)) {
            end = at;
        }
    }
    return text.substr(start, end - start);
}

bool isWellFormedUTF8(std::string_view text) noexcept {
    const ByteView bytes = asBytes(text);
    std::size_t at = 0;
    while (at < bytes.size()) {
        std::size_t invalid = 0;
        const std::size_t length = sequenceLength(bytes, at, invalid);
        if (length == 0) {
            return false;
        }
        at += length;
    }
    return true;
}

namespace {

// Calls `visit` with the byte offset where each character ends.
template <typename Visit>
void forEachCharacterEnd(std::string_view text, Visit visit) {
    if (text.empty()) {
        return;
    }
    UErrorCode status = U_ZERO_ERROR;
    const std::unique_ptr<UText, UTextCloser> utf8(
        utext_openUTF8(nullptr, text.data(), static_cast<std::int64_t>(text.size()), &status));
    UBreakIterator& breaks = characterBreaks();
    ubrk_setUText(&breaks, utf8.get(), &status);
    if (U_FAILURE(status)) {
        throw std::runtime_error(std::string("ICU character breaks: ") + u_errorName(status));
    }
    for (std::int32_t end = ubrk_next(&breaks); end != UBRK_DONE; end = ubrk_next(&breaks)) {
        visit(static_cast<std::size_t>(end));
    }
}

}  // namespace

std::size_t characterCount(std::string_view text) {
    std::size_t count = 0;
    forEachCharacterEnd(text, [&](std::size_t) { ++count; });
    return count;
}

std::vector<std::string_view> characters(std::string_view text) {
    std::vector<std::string_view> result;
    std::size_t start = 0;
    forEachCharacterEnd(text, [&](std::size_t end) {
        result.push_back(text.substr(start, end - start));
        start = end;
    });
    return result;
}

std::string_view leadingCharacters(std::string_view text, std::size_t maxCharacters,
                                   std::size_t maxBytes) {
    if (text.size() <= maxBytes && text.size() <= maxCharacters) {
        return text;  // no character is shorter than a byte
    }
    // Whether a character ends at the limit depends on what follows it: a combining mark or a
    // joiner. A whole scalar past the limit, and then some, decides as the whole text would.
    const std::size_t window = std::min(text.size(), maxBytes + 16);
    std::size_t kept = 0;
    std::size_t count = 0;
    forEachCharacterEnd(text.substr(0, window), [&](std::size_t end) {
        if (count < maxCharacters && end <= maxBytes && (end < window || window == text.size())) {
            kept = end;
            ++count;
        } else {
            count = maxCharacters;  // nothing after a character left out is kept
        }
    });
    return text.substr(0, kept);
}

bool isHidden(char32_t c) noexcept {
    if (c < 0x80) {
        return c < 0x20 || c == 0x7F;
    }
    const auto character = static_cast<UChar32>(c);
    return c < 0xA0 || c == 0x2800 || c == 0xFFFC ||
           (U_GET_GC_MASK(character) & (U_GC_CF_MASK | U_GC_Z_MASK)) != 0 ||
           u_hasBinaryProperty(character, UCHAR_DEFAULT_IGNORABLE_CODE_POINT);
}

bool reordersText(char32_t c) noexcept {
    return u_hasBinaryProperty(static_cast<UChar32>(c), UCHAR_BIDI_CONTROL);
}

namespace {

std::string wellFormed(std::string_view text) {
    return isWellFormedUTF8(text) ? std::string(text) : decodeUTF8(asBytes(text));
}

void appendEscape(std::string& out, char32_t c) {
    if (c == '\n' || c == '\r' || c == '\t' || c == '\\') {
        out += c == '\n' ? "\\n" : c == '\r' ? "\\r" : c == '\t' ? "\\t" : "\\\\";
    } else if (c < 0x80) {
        out += fmt::format("\\x{:02X}", static_cast<unsigned>(c));
    } else if (c <= 0xFFFF) {
        out += fmt::format("\\u{:04X}", static_cast<unsigned>(c));
    } else {
        out += fmt::format("\\U{:08X}", static_cast<unsigned>(c));
    }
}

bool isTag(char32_t c) {
    return c >= 0xE0020 && c <= 0xE007F;
}

// Calls `visit(c, bytes, stray)` for each scalar of one user-perceived character; `stray` tells a
// hidden one that is not part of an emoji: a joiner between two pictures, a presentation
// selector after a picture or in a keycap, the tags of a flag.
template <typename Visit>
void forEachScalarOfCharacter(std::string_view character, Visit visit) {
    const char32_t base = scalarAt(character, 0).value;
    const bool picture =
        u_hasBinaryProperty(static_cast<UChar32>(base), UCHAR_EXTENDED_PICTOGRAPHIC);
    const bool keycap = character.find("\u20E3") != std::string_view::npos;
    const bool flag = picture && character.ends_with("\U000E007F");
    for (std::size_t at = 0; at < character.size();) {
        const Scalar scalar = scalarAt(character, at);
        const bool inside = at > 0 && at + scalar.length < character.size();
        bool stray = isHidden(scalar.value);
        if (stray && at > 0) {
            if (scalar.value == 0x200D) {
                stray = !(picture && inside);
            } else if (scalar.value == 0xFE0E || scalar.value == 0xFE0F) {
                stray = !(picture || keycap);
            } else if (isTag(scalar.value)) {
                stray = !flag;
            }
        }
        visit(scalar.value, character.substr(at, scalar.length), stray);
        at += scalar.length;
    }
}

template <typename Visit>
void forEachScalarInCharacters(std::string_view text, Visit visit) {
    std::size_t start = 0;
    forEachCharacterEnd(text, [&](std::size_t end) {
        forEachScalarOfCharacter(text.substr(start, end - start), visit);
        start = end;
    });
}

bool isBlank(char32_t c) {
    return c == '\t' || isLineBreak(c) ||
           (U_GET_GC_MASK(static_cast<UChar32>(c)) & U_GC_Z_MASK) != 0;
}

bool isRightToLeft(char32_t c) {
    switch (u_charDirection(static_cast<UChar32>(c))) {
        case U_RIGHT_TO_LEFT:
        case U_RIGHT_TO_LEFT_ARABIC:
        case U_ARABIC_NUMBER:
            return true;
        default:
            return false;
    }
}

}  // namespace

std::optional<char32_t> firstHiddenCharacter(std::string_view text) {
    std::optional<char32_t> found;
    forEachScalarInCharacters(wellFormed(text), [&](char32_t c, std::string_view, bool stray) {
        if (stray && !found) {
            found = c;
        }
    });
    return found;
}

std::string withoutHiddenCharacters(std::string_view text) {
    const std::string input = wellFormed(text);
    std::string out;
    out.reserve(input.size());
    forEachScalarInCharacters(input, [&](char32_t c, std::string_view bytes, bool stray) {
        if (!stray) {
            out.append(bytes);
        } else if (isBlank(c) && !out.ends_with(' ')) {
            out += ' ';
        }
    });
    return std::string(trimmed(out));
}

std::string escaped(std::string_view text) {
    const std::string input = wellFormed(text);
    std::string out;
    out.reserve(input.size());
    for (std::size_t at = 0; at < input.size();) {
        const Scalar scalar = scalarAt(input, at);
        if (isHidden(scalar.value) || scalar.value == '\\') {
            appendEscape(out, scalar.value);
        } else {
            out.append(input, at, scalar.length);
        }
        at += scalar.length;
    }
    return out;
}

std::string excerpt(std::string_view text, std::size_t maxCharacters) {
    // More bytes than any real character takes (a family of four with skin tones takes 41).
    constexpr std::size_t longestCharacter = 64;
    std::size_t window = maxCharacters * longestCharacter;
    bool cut = text.size() > window;
    if (cut) {
        while (window > 0 && (static_cast<unsigned char>(text[window]) & 0xC0) == 0x80) {
            --window;  // not inside a sequence, which would read as one more character
        }
    }
    const std::string head = decodeUTF8(asBytes(text.substr(0, window)));
    std::vector<std::string_view> shown = characters(head);
    if (cut && !shown.empty()) {
        shown.pop_back();  // it may be a part of one
    }
    // The bound is on what a reader sees: an escape shows as many characters as it is long, and
    // the escapes inside a character may be cut short as other text is.
    std::string out;
    std::size_t width = 0;
    bool full = false;
    for (const std::string_view character : shown) {
        if (character.size() > longestCharacter) {
            full = true;  // a tower of marks or tags, which no name or value needs
            break;
        }
        bool drawn = false;
        forEachScalarOfCharacter(character, [&](char32_t c, std::string_view bytes, bool stray) {
            if (full) {
                return;
            }
            std::string piece;
            std::size_t pieceWidth = 0;
            if (stray) {
                appendEscape(piece, c);
                pieceWidth = piece.size();
            } else {
                piece = bytes;
                pieceWidth = drawn ? 0 : 1;
                drawn = true;
            }
            if (width + pieceWidth > maxCharacters) {
                full = true;
                return;
            }
            width += pieceWidth;
            out += piece;
        });
        if (full) {
            break;
        }
    }
    if (cut || full) {
        out += "\u2026";
    }
    return isolated(out);
}

std::string quoted(std::string_view text, std::size_t maxCharacters) {
    return '"' + excerpt(text, maxCharacters) + '"';
}

std::string isolated(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        const Scalar scalar = scalarAt(text, at);
        if (isRightToLeft(scalar.value)) {
            return "\u2068" + std::string(text) + "\u2069";
        }
        at += scalar.length;
    }
    return std::string(text);
}

}  // namespace qm::UnicodeText
