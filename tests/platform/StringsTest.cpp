#include <gtest/gtest.h>

#include "platform/foundation/Strings.h"

using namespace platform;

TEST(Strings, Utf16LengthCountsSurrogatePairsTwice) {
    EXPECT_EQ(utf16Length(""), 0u);
    EXPECT_EQ(utf16Length("abc"), 3u);
    EXPECT_EQ(utf16Length("caf\xc3\xa9"), 4u);
    EXPECT_EQ(utf16Length("\xe2\x82\xac"), 1u);
    EXPECT_EQ(utf16Length("\xf0\x9f\x98\x80"), 2u);
    EXPECT_EQ(utf16Length("\xff\xfe"), 2u);      // invalid bytes count one each
    EXPECT_EQ(utf16Length("\xe2\x82"), 2u);      // so does a cut-off sequence
}

TEST(Strings, VersionsCompareNumerically) {
    EXPECT_LT(compareVersions("5.1", "6.0"), 0);
    EXPECT_LT(compareVersions("6.0", "7.0"), 0);
    EXPECT_LT(compareVersions("7.0", "10.0"), 0);
    EXPECT_EQ(compareVersions("7", "7.0.0"), 0);
    EXPECT_GT(compareVersions("7.1", "7.0.9"), 0);
    EXPECT_EQ(compareVersions("", "0"), 0);
}

TEST(Strings, PercentEscapingRoundTripsUtf8) {
    EXPECT_EQ(percentEscape("a b/c\xc3\xa9~"), "a%20b%2Fc%C3%A9~");
    EXPECT_EQ(percentEscape("a/b", "/"), "a/b");
    EXPECT_EQ(*percentUnescape("a%20b%2fc%C3%A9"), "a b/c\xc3\xa9");
    EXPECT_EQ(*percentUnescape("[1,2]"), "[1,2]");
    EXPECT_FALSE(percentUnescape("%"));
    EXPECT_FALSE(percentUnescape("%2"));
    EXPECT_FALSE(percentUnescape("%zz"));
    EXPECT_FALSE(percentUnescape("%FF"));      // not UTF-8
    EXPECT_FALSE(percentUnescape("%C3"));      // cut-off sequence
    EXPECT_FALSE(percentUnescape("%ED%A0%80"));  // an encoded surrogate
}

TEST(Strings, CaseInsensitiveComparison) {
    EXPECT_EQ(caseInsensitiveCompare("Device", "dEVICE"), 0);
    EXPECT_LT(caseInsensitiveCompare("a", "B"), 0);
    EXPECT_GT(caseInsensitiveCompare("ab", "A"), 0);
    EXPECT_TRUE(equalsIgnoringCase("Content-Type", "content-type"));
    EXPECT_FALSE(equalsIgnoringCase("abc", "abcd"));
    EXPECT_EQ(toLower("MiXeD-1"), "mixed-1");
}

TEST(Strings, FormatGrowsPastItsStackBuffer) {
    const std::string longText(1000, 'x');
    EXPECT_EQ(format("%s|%d", longText.c_str(), 7), longText + "|7");
    EXPECT_EQ(format("%s", ""), "");
}

