#include "core/Uuid.h"

#include <gtest/gtest.h>

#include <set>

TEST(Uuid, UpperCaseVersion4IdentifiersNeverRepeat) {
    std::set<std::string> seen;
    for (int i = 0; i < 10000; ++i) {
        auto id = vokari::makeUuidString();
        ASSERT_EQ(id.size(), 36u);
        ASSERT_EQ(id[14], '4');
        ASSERT_NE(std::string("89AB").find(id[19]), std::string::npos) << id;
        ASSERT_EQ(id.find_first_not_of("0123456789ABCDEF-"), std::string::npos) << id;
        seen.insert(id);
    }
    EXPECT_EQ(seen.size(), 10000u);
}
