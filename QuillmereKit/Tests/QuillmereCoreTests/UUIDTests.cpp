#include <unordered_set>

#include <gtest/gtest.h>

#include "QuillmereCore/UUID.h"

namespace qm {
namespace {

TEST(UUID, RandomIdsAreVersionFourWithTheStandardVariant) {
    std::unordered_set<UUID> seen;
    for (int i = 0; i < 200; ++i) {
        const UUID id = UUID::random();
        EXPECT_EQ(id.bytes[6] >> 4, 4);
        EXPECT_EQ(id.bytes[8] >> 6, 2);
        seen.insert(id);
    }
    EXPECT_EQ(seen.size(), 200u);
}

TEST(UUID, TextIsUpperCaseAndParsesInEitherCase) {
    const auto id = UUID::parse("0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d");
    ASSERT_TRUE(id);
    EXPECT_EQ(id->uuidString(), "0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D");
    EXPECT_EQ(UUID::parse(id->uuidString()), id);
    const UUID random = UUID::random();
    EXPECT_EQ(UUID::parse(random.uuidString()), random);
}

TEST(UUID, MalformedTextIsRefused) {
    for (const char* bad :
         {"", "0A1B2C3D4E5F4A6B8C7D9E0F1A2B3C4D", "0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4",
          "0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4DE", "0A1B2C3D_4E5F-4A6B-8C7D-9E0F1A2B3C4D",
          "0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4G", "{A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D"}) {
        EXPECT_EQ(UUID::parse(bad), std::nullopt) << bad;
    }
}

}  // namespace
}  // namespace qm
