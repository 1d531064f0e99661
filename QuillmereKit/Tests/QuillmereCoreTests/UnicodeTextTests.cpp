#include <gtest/gtest.h>

#include "QuillmereCore/UnicodeText.h"

namespace qm {
namespace {

std::string decode(std::string_view bytes) {
    return UnicodeText::decodeUTF8(asBytes(bytes));
}

TEST(UnicodeText, IllFormedSequencesBecomeOneReplacementEach) {
    EXPECT_EQ(decode("plain ü €"), "plain ü €");
    EXPECT_EQ(decode("a\xFF"
                     "b"),
              "a\uFFFDb");
    // A truncated three-byte sequence is one maximal subpart; a surrogate is three.
    EXPECT_EQ(decode("\xE2\x82"
                     "x"),
              "\uFFFDx");
    EXPECT_EQ(decode("\xED\xA0\x80"), "\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(decode("\xC0\xAF"), "\uFFFD\uFFFD");
    EXPECT_EQ(decode("\xF4\x90\x80\x80"), "\uFFFD\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(decode("\xF0\x9F\x98"), "\uFFFD");
    EXPECT_EQ(decode("\x80"
                     "x"),
              "\uFFFDx");
    EXPECT_EQ(decode("\xF0\x9F\x98\x80"), "\U0001F600");
    EXPECT_EQ(decode(std::string_view("\0", 1)), std::string(1, '\0'));
}

TEST(UnicodeText, LinesSplitAtEveryBreakAndKeepEmptyOnes) {
    using V = std::vector<std::string_view>;
    EXPECT_EQ(UnicodeText::splitLines(""), V{""});
    EXPECT_EQ(UnicodeText::splitLines("a\n"), (V{"a", ""}));
    EXPECT_EQ(UnicodeText::splitLines("a\r\nb\rc\n\nd"), (V{"a", "b", "c", "", "d"}));
    EXPECT_EQ(UnicodeText::splitLines("a\vb\fc\u0085d\u2028e\u2029f"),
              (V{"a", "b", "c", "d", "e", "f"}));
    EXPECT_EQ(UnicodeText::splitLines("a\n\r\nb"), (V{"a", "", "b"}));
}

TEST(UnicodeText, TrimmingTakesUnicodeSpacesButNothingInside) {
    EXPECT_EQ(UnicodeText::trimmed(" \t 3 4\r\n"), "3 4");
    EXPECT_EQ(UnicodeText::trimmed("\u00A0\u3000x\u2009"), "x");
    EXPECT_EQ(UnicodeText::trimmed(" \n "), "");
    EXPECT_EQ(UnicodeText::trimmed("\xFF "), "\xFF");
}

TEST(UnicodeText, CharactersAreWhatAReaderCountsAndWellFormedTextIsTold) {
    const std::pair<std::string_view, std::size_t> cases[] = {
        {"", 0},
        {"Main", 4},
        {"e\u0301", 1},                                     // a combining accent
        {"\U0001F1E9\U0001F1EA\U0001F1EB\U0001F1F7", 2},    // two flags
        {"\U0001F468\u200D\U0001F469\u200D\U0001F467", 1},  // one family
        {"\r\n", 1},
        {"\uD55C\uAE00", 2},
        {"a\xFF\xFE", 3},
    };
    for (const auto& [text, count] : cases) {
        EXPECT_EQ(UnicodeText::characterCount(text), count) << text;
        EXPECT_EQ(UnicodeText::isWellFormedUTF8(text), text != "a\xFF\xFE") << text;
    }
    for (const char* bad : {"\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE2\x82"}) {
        EXPECT_FALSE(UnicodeText::isWellFormedUTF8(bad)) << bad;
    }
}

}  // namespace
}  // namespace qm
