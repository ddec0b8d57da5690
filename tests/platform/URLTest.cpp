#include "platform/foundation/URL.h"

#include <gtest/gtest.h>

using platform::URL;

TEST(URL, SchemeIsLowerCasedTextKeptAsGiven) {
    const auto url = URL::create("HTTPS://Example.com/Path?q=1");
    ASSERT_TRUE(url);
    EXPECT_EQ(url->scheme(), "https");
    EXPECT_EQ(url->absoluteString(), "HTTPS://Example.com/Path?q=1");
}

TEST(URL, AcceptsEverySchemeShape) {
    const std::pair<const char*, const char*> cases[] = {
        {"gap://ready", "gap"},
        {"file:///www/index.html", "file"},
        {"data:text/plain,hi", "data"},
        {"about:", "about"},  // nothing after the colon is still absolute
        {"a+b-c.d9:x", "a+b-c.d9"},
        {"x:y:z", "x"},  // the first colon ends the scheme
    };
    for (const auto& [text, scheme] : cases) {
        const auto url = URL::create(text);
        ASSERT_TRUE(url) << text;
        EXPECT_EQ(url->scheme(), scheme);
    }
}

TEST(URL, RejectsTextsWithoutAValidScheme) {
    for (const char* text : {"", "index.html", "/www/a:b", ":nothing", "1http://x", "ht tp://x", "ht_tp:x",
                             "+x:y", "www/index.html?x=a:b", "\xC3\xA9:x"}) {
        EXPECT_FALSE(URL::create(text)) << text;
    }
}
