#include <gtest/gtest.h>

#include "QuillmereCore/Utf8.h"

namespace qm {
namespace {

std::string decode(std::string_view bytes) {
    return decodeUtf8Lossy(asBytes(bytes));
}

constexpr std::string_view fffd = "\xEF\xBF\xBD";

TEST(Utf8, PassesWellFormedTextThrough) {
    const std::string_view text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z";
    EXPECT_EQ(decode(text), text);
    EXPECT_EQ(decode(""), "");
}

TEST(Utf8, ReplacesEachMaximalIllFormedSubpartOnce) {
    EXPECT_EQ(decode("a\xFF"
                     "b"),
              std::string("a") + std::string(fffd) + "b");
    // A truncated 3-byte sequence is one replacement, then decoding resumes at the bad byte.
    EXPECT_EQ(decode("\xE2\x82"
                     "A"),
              std::string(fffd) + "A");
    EXPECT_EQ(decode("\xE2\x82"), fffd);
    // Overlong forms, surrogates and code points past U+10FFFF: one replacement per byte.
    EXPECT_EQ(decode("\xC0\xAF"), std::string(fffd) + std::string(fffd));
    EXPECT_EQ(decode("\xED\xA0\x80"), std::string(fffd) + std::string(fffd) + std::string(fffd));
    EXPECT_EQ(decode("\xF4\x90\x80\x80").size(), 4 * fffd.size());
    // A lone continuation byte.
    EXPECT_EQ(decode("\x80"
                     "x"),
              std::string(fffd) + "x");
}

}  // namespace
}  // namespace qm
