#include <gtest/gtest.h>

#include "QuillmereCore/Base64.h"

namespace qm {
namespace {

TEST(Base64, EncodesTheStandardVectorsWithPadding) {
    const std::pair<const char*, const char*> cases[] = {{"", ""},
                                                         {"f", "Zg=="},
                                                         {"fo", "Zm8="},
                                                         {"foo", "Zm9v"},
                                                         {"foob", "Zm9vYg=="},
                                                         {"fooba", "Zm9vYmE="},
                                                         {"foobar", "Zm9vYmFy"},
                                                         {"\xff\xfe\xfd", "//79"}};
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(base64(asBytes(text)), expected) << text;
    }
}

}  // namespace
}  // namespace qm
