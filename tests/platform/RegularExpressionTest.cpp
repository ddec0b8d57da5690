#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/foundation/RegularExpression.h"

using namespace platform;

TEST(RegularExpression, FindsMatchesWithUtf16Ranges) {
    auto re = RegularExpression::create("[^A-Za-z0-9._-]");
    ASSERT_TRUE(re);
    EXPECT_FALSE(re->matchesSomewhere("Echo12._-"));
    EXPECT_TRUE(re->matchesSomewhere("a b"));
    EXPECT_TRUE(re->matchesSomewhere("caf\xc3\xa9"));
    auto range = re->rangeOfFirstMatch("\xf0\x9f\x98\x80x!");  // an emoji is two UTF-16 units
    ASSERT_TRUE(range);
    EXPECT_EQ(range->location, 0u);
    EXPECT_EQ(range->length, 2u);
    EXPECT_EQ(re->rangeOfFirstMatch("ab/")->location, 2u);
}

TEST(RegularExpression, WholeMatchesAndCaseInsensitivity) {
    auto re = RegularExpression::create("https?://[a-z.]+/?", {.caseInsensitive = true});
    ASSERT_TRUE(re);
    EXPECT_TRUE(re->matchesEntirely("HTTP://Example.COM/"));
    EXPECT_FALSE(re->matchesEntirely("http://example.com/path"));
    EXPECT_TRUE(re->matchesSomewhere("see http://example.com/path"));
}

TEST(RegularExpression, ABadPatternIsReported) {
    std::string error;
    EXPECT_FALSE(RegularExpression::create("[", {}, &error));
    EXPECT_FALSE(error.empty());
}

TEST(RegularExpression, LongInputDoesNotExhaustTheStack) {
    auto re = RegularExpression::create("(a|b)*c");
    ASSERT_TRUE(re);
    EXPECT_FALSE(re->matchesEntirely(std::string(200000, 'a')));
}

TEST(RegularExpression, OneExpressionServesManyThreads) {
    auto re = RegularExpression::create("^[0-9]+$");
    std::vector<std::thread> threads;
    std::atomic<int> wrong{0};
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 2000; ++i) {
                const bool digits = (i + t) % 2 == 0;
                if (re->matchesEntirely(digits ? std::to_string(i) : "x" + std::to_string(i)) != digits) ++wrong;
            }
        });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(wrong, 0);
}
