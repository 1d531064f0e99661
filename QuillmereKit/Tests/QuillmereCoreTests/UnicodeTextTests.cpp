#include <optional>
#include <string>

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

    // A start of whole characters within both bounds, however long the text.
    const std::string flags = "\U0001F1E9\U0001F1EA\U0001F1EB\U0001F1F7";
    const struct {
        std::string text;
        std::size_t characters;
        std::size_t bytes;
        std::string kept;
    } starts[] = {
        {"e\u0301e\u0301", 1, 100, "e\u0301"},
        {"e\u0301e\u0301", 5, 5, "e\u0301"},
        {"e\u0301e\u0301", 5, 6, "e\u0301e\u0301"},
        {flags, 2, 15, "\U0001F1E9\U0001F1EA"},
        {std::string(4 << 20, 'a'), 40, 400, std::string(40, 'a')},
        {"a" + std::string(1 << 20, '\x01'), 3, 400, "a\x01\x01"},
    };
    for (const auto& c : starts) {
        EXPECT_EQ(UnicodeText::leadingCharacters(c.text, c.characters, c.bytes), c.kept)
            << c.text.substr(0, 20);
    }
}

// The characters the log escapes are hidden in a name, but for those that make one picture of an
// emoji; a name from a file keeps what a reader sees of it.
TEST(UnicodeText, HiddenCharactersAreFoundAndDroppedOutsideEmoji) {
    const struct {
        std::string_view text;
        std::optional<char32_t> hidden;
        std::string_view cleaned;
    } cases[] = {
        {"Main 2", std::nullopt, "Main 2"},
        {"zw\u200Bsp", 0x200B, "zwsp"},
        {"a\u2060b\uFEFFc\u00ADd\u034F", 0x2060, "abcd"},
        {"tag\U000E0041\U000E007F", 0xE0041, "tag"},
        {"\u3164x\u2800", 0x3164, "x"},
        {"\u202Eevil\u2066", 0x202E, "evil"},
        {"two\r\nlines\ttab\u2028\u00A0", '\r', "two lines tab"},
        {"soh\x01\x7F\u0085", 1, "soh"},
        {"a\u200Db", 0x200D, "ab"},
        {"\U0001F600\u200D", 0x200D, "\U0001F600"},  // a joiner with nothing to join
        {"\U0001F468\u200D\U0001F469\u200D\U0001F467 and \u2764\uFE0F", std::nullopt,
         "\U0001F468\u200D\U0001F469\u200D\U0001F467 and \u2764\uFE0F"},
        {"1\uFE0F\u20E3 #\uFE0F", 0xFE0F, "1\uFE0F\u20E3 #"},
        {"\U0001F3F4\U000E0067\U000E0062\U000E0065\U000E006E\U000E0067\U000E007F", std::nullopt,
         "\U0001F3F4\U000E0067\U000E0062\U000E0065\U000E006E\U000E0067\U000E007F"},
        {"\u200B", 0x200B, ""},
        {"\xFF", std::nullopt, "\uFFFD"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(UnicodeText::firstHiddenCharacter(c.text), c.hidden) << c.text;
        EXPECT_EQ(UnicodeText::withoutHiddenCharacters(c.text), c.cleaned) << c.text;
    }
}

// What a message quotes of a value from outside: short, on one line, one run in its sentence.
TEST(UnicodeText, AnExcerptIsShortOneLineAndOneRun) {
    const std::string accent = "e\u0301";
    const struct {
        std::string text;
        std::size_t most;
        std::string shown;
    } cases[] = {
        {"plain \\ text", 40, "plain \\ text"},
        {std::string(40, 'a'), 40, std::string(40, 'a')},
        {std::string(41, 'a'), 40, std::string(40, 'a') + "\u2026"},
        {std::string(4 << 20, 'a'), 40, std::string(40, 'a') + "\u2026"},
        {accent + accent + accent, 2, accent + accent + "\u2026"},
        // What is shown is bounded, escapes included.
        {"a" + std::string(1 << 20, '\x01'), 9, "a\\x01\\x01\u2026"},
        {[] {
             std::string orientation;
             for (int i = 0; i < 40; ++i) {
                 orientation += "x";
                 for (int k = 0; k < 15; ++k) {
                     orientation += "\U000E0041";
                 }
             }
             return orientation;
         }(),
         40, "x\\U000E0041\\U000E0041\\U000E0041\u2026"},
        {"ab" +
             [] {
                 std::string marks = "e";
                 for (int i = 0; i < 100; ++i) {
                     marks += "\u0301";
                 }
                 return marks;
             }(),
         40, "ab\u2026"},
        // A character of a million marks is not shown in part.
        {"a" +
             [] {
                 std::string marks;
                 for (int i = 0; i < 100000; ++i) {
                     marks += "\u0301";
                 }
                 return marks;
             }(),
         40, "\u2026"},
        {"x\r\nLayouts imported: 3 of 3\u202E", 40, "x\\r\\nLayouts imported: 3 of 3\\u202E"},
        {"\U0001F468\u200D\U0001F469 \u200B\U000E0041", 40,
         "\U0001F468\u200D\U0001F469 \\u200B\\U000E0041"},
        {"\u05E9\u05DC\u05D5\u05DD 2", 40, "\u2068\u05E9\u05DC\u05D5\u05DD 2\u2069"},
        {"\xE2\x80", 40, "\uFFFD"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(UnicodeText::excerpt(c.text, c.most), c.shown) << c.text.substr(0, 80);
    }
    EXPECT_EQ(UnicodeText::quoted("\u0627 1"), "\"\u2068\u0627 1\u2069\"");
    EXPECT_EQ(UnicodeText::isolated("plain 1"), "plain 1");
}

}  // namespace
}  // namespace qm
