#include "platform/foundation/Uuid.h"

#include <gtest/gtest.h>

#include <set>

using platform::newUuidString;

TEST(Uuid, PlatformTextForm) {
    for (int i = 0; i < 100; ++i) {
        const std::string uuid = newUuidString();
        ASSERT_EQ(uuid.size(), 36u) << uuid;
        for (std::size_t j = 0; j < uuid.size(); ++j) {
            const char c = uuid[j];
            if (j == 8 || j == 13 || j == 18 || j == 23)
                EXPECT_EQ(c, '-') << uuid;
            else
                EXPECT_TRUE((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')) << uuid;
        }
        // Random (version 4) UUIDs of the RFC 4122 variant.
        EXPECT_EQ(uuid[14], '4') << uuid;
        EXPECT_NE(std::string("89AB").find(uuid[19]), std::string::npos) << uuid;
    }
}

TEST(Uuid, FreshEachTime) {
    std::set<std::string> seen;
    for (int i = 0; i < 2000; ++i) seen.insert(newUuidString());
    EXPECT_EQ(seen.size(), 2000u);
}
