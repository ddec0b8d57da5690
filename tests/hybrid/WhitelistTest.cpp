// The whitelist: which URLs the access origins of config.xml let through, and
// what a rejection says.
#include <gtest/gtest.h>

#include <initializer_list>
#include <random>
#include <string>
#include <vector>

#include "hybrid/HYBWhitelist.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/RegularExpression.h"
#include "platform/foundation/URL.h"

using hybrid::HYBWhitelist;
using hybrid::HYBWhitelistPattern;

namespace {

// What a container gets from a config.xml with these access origins.
HYBWhitelist whitelistWith(std::initializer_list<std::string> origins) {
    std::vector<std::string> entries{"file:///*", "content:///*", "data:///*"};
    entries.insert(entries.end(), origins);
    return HYBWhitelist(entries);
}

platform::URL url(const std::string& text) {
    std::optional<platform::URL> parsed = platform::URL::create(text);
    if (!parsed) {
        ADD_FAILURE() << "not a URL: " << text;
        return *platform::URL::create("invalid:");
    }
    return *parsed;
}

bool allows(const HYBWhitelist& whitelist, const std::string& text) {
    return whitelist.URLIsAllowedLogFailure(url(text), false);
}

void expectAllowed(const HYBWhitelist& whitelist, std::initializer_list<const char*> texts) {
    for (const char* text : texts) EXPECT_TRUE(allows(whitelist, text)) << text;
}

void expectRejected(const HYBWhitelist& whitelist, std::initializer_list<const char*> texts) {
    for (const char* text : texts) EXPECT_FALSE(allows(whitelist, text)) << text;
}

}  // namespace

TEST(WhitelistOrigins, WithoutAccessEntriesOnlyLocalContentLoads) {
    platform::LogCapture capture;
    const HYBWhitelist whitelist = whitelistWith({});
    expectAllowed(whitelist, {"file:///var/app/www/index.html", "file://localhost/x", "content://provider/item/1",
                              "data:text/html,hello", "data:,"});
    expectRejected(whitelist, {"http://example.com/", "https://example.com/index.html", "ftp://example.com/"});
    EXPECT_TRUE(capture.lines().empty());
}

TEST(WhitelistOrigins, AnEntryWithoutHostAllowsOnlyUrlsWithoutHost) {
    const HYBWhitelist whitelist = whitelistWith({});
    // "data:///*" must not turn into "data from anywhere".
    expectRejected(whitelist, {"data://evil.example.com/x"});
    const HYBWhitelist custom = whitelistWith({"app:///*"});
    expectAllowed(custom, {"app:///index.html", "app:thing"});
    expectRejected(custom, {"app://evil.example.com/index.html"});
}

TEST(WhitelistOrigins, StarLiftsEveryRestrictionForGood) {
    platform::LogCapture capture;
    HYBWhitelist whitelist = whitelistWith({"*", "http://only.example.com"});
    EXPECT_EQ(capture.count("Unlimited access to network resources"), 1u);
    EXPECT_EQ(capture.lines().size(), 1u);
    EXPECT_FALSE(whitelist.whitelist().has_value());
    EXPECT_FALSE(whitelist.permittedSchemes().has_value());
    whitelist.addWhiteListEntry("not an origin: ***");
    whitelist.addWhiteListEntry("*");
    EXPECT_EQ(capture.lines().size(), 1u);
    expectAllowed(whitelist, {"http://anything.example.net/", "gopher://x/", "mailto:someone@example.com"});
    EXPECT_TRUE(whitelist.schemeIsAllowed("whatever"));
}

TEST(WhitelistOrigins, ABareHostAllowsExactlyThatHostOverTheWeb) {
    const HYBWhitelist whitelist = whitelistWith({"example.com"});
    expectAllowed(whitelist, {"http://example.com/", "https://example.com/a/b?c=d", "http://EXAMPLE.com",
                              "https://Example.Com:444/x"});
    // ftp passes the scheme step, but the entry only made http and https patterns.
    expectRejected(whitelist, {"http://www.example.com/", "http://badexample.com/", "ftp://example.com/",
                               "http://example.com.evil.org/", "http://example.org/"});
    EXPECT_TRUE(whitelist.schemeIsAllowed("ftp"));
}

TEST(WhitelistOrigins, AStarDotHostAllowsTheDomainAndEverySubDomain) {
    const HYBWhitelist whitelist = whitelistWith({"*.example.com"});
    expectAllowed(whitelist, {"http://example.com/", "https://www.example.com/", "http://a.b.c.Example.COM/x",
                              "https://my-host.example.com"});
    expectRejected(whitelist, {"http://badexample.com/", "http://example.com.evil.org/", "http://examplexcom/",
                               "ftp://www.example.com/"});
}

TEST(WhitelistOrigins, AnExplicitPortMustBeWrittenInTheUrl) {
    const HYBWhitelist whitelist = whitelistWith({"http://example.com:8080/*"});
    expectAllowed(whitelist, {"http://example.com:8080/", "http://example.com:8080", "http://example.com:8080/a/b"});
    expectRejected(whitelist, {"http://example.com/", "http://example.com:80/", "http://example.com:8081/",
                               "https://example.com:8080/"});
}

TEST(WhitelistOrigins, PathPatternsMatchTheWholePath) {
    const HYBWhitelist whitelist = whitelistWith({"https://example.com/app/*", "https://example.com/a.html",
                                                 "https://example.com/files/*/raw"});
    expectAllowed(whitelist, {"https://example.com/app", "https://example.com/app/", "https://example.com/app/x/y",
                              "https://example.com/a.html", "https://example.com/files/1/2/raw",
                              "https://example.com/app/%E2%82%AC"});
    expectRejected(whitelist, {"https://example.com/apple", "https://example.com/APP/x", "https://example.com/aXhtml",
                               "https://example.com/a.html/more", "https://example.com/files/1/raw/more",
                               "https://example.com/"});
    // A decoded line break must not slip past the end of the pattern.
    expectRejected(whitelist, {"https://example.com/a.html%0A"});
}

// A page can navigate to any URL it likes; wildcards must not backtrack on it.
TEST(WhitelistOrigins, PathWildcardsAnswerLongUrlsOfSlashes) {
    const HYBWhitelist whitelist = whitelistWith({"https://cdn.example.com/*/*/*.js"});
    const std::string slashes(1024, '/');
    EXPECT_FALSE(allows(whitelist, "https://cdn.example.com" + slashes));
    EXPECT_TRUE(allows(whitelist, "https://cdn.example.com" + slashes + "a.js"));
    EXPECT_FALSE(allows(whitelist, "https://cdn.example.com" + slashes + "a.js%0A"));
}

// The wildcard matcher answers as regexFromPattern's expression would, line
// breaks and the optional "/*" tail included.
TEST(WhitelistPatterns, WildcardsMatchAsTheirRegularExpression) {
    const std::vector<std::string> pieces{"a", "/", "*", "\n", "\xE2\x80\xA8", "\xC3\xA9"};
    std::mt19937 random(7);
    auto text = [&](std::size_t most) {
        std::string out;
        for (std::size_t n = random() % (most + 1); n > 0; --n) out += pieces[random() % pieces.size()];
        return out;
    };
    for (int round = 0; round < 2000; ++round) {
        const std::string pattern = text(5);
        const auto expression = platform::RegularExpression::create(HYBWhitelistPattern::regexFromPattern(pattern, true));
        ASSERT_TRUE(expression) << pattern;
        for (int i = 0; i < 10; ++i) {
            const std::string candidate = text(8);
            EXPECT_EQ(HYBWhitelistPattern::wildcardPatternMatches(pattern, candidate),
                      expression->matchesEntirely(candidate))
                << "pattern '" << pattern << "' text '" << candidate << "'";
        }
    }
}

TEST(WhitelistOrigins, RegexCharactersInEntriesAreLiteral) {
    const HYBWhitelist whitelist = whitelistWith({"http://192.168.1.1", "http://a+b.example.com", "https://x.y/(a)+b"});
    expectAllowed(whitelist, {"http://192.168.1.1/", "http://a+b.example.com/", "https://x.y/(a)+b"});
    expectRejected(whitelist, {"http://192x168.1.1/", "http://192.168.1.10/", "http://aab.example.com/",
                               "https://x.y/ab", "https://x.y/aab"});
}

TEST(WhitelistSchemes, ACustomSchemeIsPermittedOnlyOnceNamedInAnyCase) {
    const HYBWhitelist whitelist = whitelistWith({"MyApp://*", "HTTPS://secure.example.com"});
    ASSERT_TRUE(whitelist.permittedSchemes().has_value());
    EXPECT_EQ(*whitelist.permittedSchemes(), (std::set<std::string>{"content", "data", "file", "https", "myapp"}));
    expectAllowed(whitelist, {"myapp://anything/at/all", "MYAPP://Host", "https://secure.example.com/"});
    expectRejected(whitelist, {"other://anything/", "http://secure.example.com/"});
    EXPECT_FALSE(whitelist.schemeIsAllowed("other"));
    for (const char* scheme : {"MyApp", "http", "HTTP", "Https", "ftp", "FTPS"}) {
        EXPECT_TRUE(whitelist.schemeIsAllowed(scheme)) << scheme;
    }
}

TEST(WhitelistSchemes, AStarSchemeAllowsEverySchemeForItsHost) {
    const HYBWhitelist whitelist = whitelistWith({"*://example.com/*"});
    EXPECT_FALSE(whitelist.permittedSchemes().has_value());
    expectAllowed(whitelist, {"gopher://example.com/", "ftp://example.com/x", "https://example.com"});
    expectRejected(whitelist, {"gopher://other.example/", "https://other.example/"});
}

TEST(WhitelistSchemes, WebUrlsAreAlsoTriedUnderTheDefaultScheme) {
    // The neutral form keeps host and path only, so the port is not compared.
    const HYBWhitelist whitelist = whitelistWith({"hyb-default-scheme://example.com/docs/*"});
    expectAllowed(whitelist, {"http://example.com/docs/a", "https://example.com:8443/docs", "ftp://example.com/docs/b",
                              "https://example.com/docs/%20x"});
    expectRejected(whitelist, {"http://example.com/other", "http://www.example.com/docs/a"});
}

TEST(WhitelistEntries, MalformedEntriesAreSkippedWithALogLine) {
    platform::LogCapture capture;
    HYBWhitelist whitelist = whitelistWith({});
    const std::size_t patterns = whitelist.whitelist()->size();
    for (const char* entry : {"http://*example.com", "http://example.com:port/", "ht tp://example.com", "*.",
                              "http://exa*mple.com", "**", "http://example.com:80:81", "http://example.com:\xd9\xa1"}) {
        whitelist.addWhiteListEntry(entry);
        EXPECT_EQ(capture.count(std::string("Ignoring malformed access origin: '") + entry + "'"), 1u) << entry;
    }
    EXPECT_EQ(whitelist.whitelist()->size(), patterns);
    EXPECT_EQ(*whitelist.permittedSchemes(), (std::set<std::string>{"content", "data", "file"}));
    expectRejected(whitelist, {"http://evil.com/", "http://www.example.com/", "http://example.com/"});
}

TEST(WhitelistRejection, TheLoggingVariantWritesOneLinePerRejection) {
    const HYBWhitelist whitelist = whitelistWith({"example.com"});
    platform::LogCapture capture;
    EXPECT_FALSE(whitelist.URLIsAllowed(url("http://evil.example.net/x")));
    EXPECT_EQ(capture.lines(), std::vector<std::string>{"ERROR whitelist rejection: url='http://evil.example.net/x'"});
    capture.clear();
    EXPECT_FALSE(whitelist.URLIsAllowed(url("gopher://evil.example.net/")));
    EXPECT_EQ(capture.lines().size(), 1u);
    capture.clear();
    EXPECT_TRUE(whitelist.URLIsAllowed(url("https://example.com/")));
    EXPECT_FALSE(whitelist.URLIsAllowedLogFailure(url("http://evil.example.net/"), false));
    EXPECT_FALSE(whitelist.URLIsAllowedLogFailure(url("gopher://evil.example.net/"), false));
    EXPECT_TRUE(capture.lines().empty());
}

TEST(WhitelistRejection, TheUrlIsSubstitutedLiterally) {
    HYBWhitelist whitelist = whitelistWith({});
    const platform::URL hostile = url("http://evil.example.net/%25s%25n%25@?q=%25d");
    EXPECT_EQ(whitelist.errorStringForURL(hostile),
              "ERROR whitelist rejection: url='http://evil.example.net/%25s%25n%25@?q=%25d'");

    whitelist.setWhitelistRejectionFormatString("%s%n blocked %@ (%d%%)");
    EXPECT_EQ(whitelist.whitelistRejectionFormatString(), "%s%n blocked %@ (%d%%)");
    platform::LogCapture capture;
    EXPECT_FALSE(whitelist.URLIsAllowed(hostile));
    EXPECT_EQ(capture.lines(),
              std::vector<std::string>{"%s%n blocked http://evil.example.net/%25s%25n%25@?q=%25d (%d%%)"});

    whitelist.setWhitelistRejectionFormatString("no marker");
    EXPECT_EQ(whitelist.errorStringForURL(hostile), "no marker");
}

TEST(WhitelistAddresses, IPv4AddressesHaveFourPartsUpTo255) {
    for (const char* text : {"0.0.0.0", "192.168.1.1", "255.255.255.255", "10.*.*.*", "*.*.*.*", "010.0.0.1"}) {
        EXPECT_TRUE(HYBWhitelist::isIPv4Address(text)) << text;
    }
    for (const char* text : {"", "1.2.3", "1.2.3.4.5", "256.1.1.1", "1.2.3.-4", "1..2.3", "1.2.3.4.", "a.b.c.d",
                             " 1.2.3.4", "1.2.3.4 ", "1,000.1.1.1", "+1.2.3.4", "1.2.3.99999999999999999999",
                             "**.1.1.1", "1e2.1.1.1"}) {
        EXPECT_FALSE(HYBWhitelist::isIPv4Address(text)) << text;
    }
}
