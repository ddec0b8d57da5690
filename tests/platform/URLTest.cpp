#include "platform/foundation/URL.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

using platform::URL;

namespace {

std::string resolve(const std::string& reference, const std::string& baseText) {
    const auto base = URL::create(baseText);
    if (!base) return "<bad base>";
    const auto url = URL::create(reference, *base);
    return url ? url->absoluteString() : "<invalid>";
}

}  // namespace

TEST(URLParsing, SplitsAnAbsoluteURLIntoItsParts) {
    const auto url = URL::create("HTTPS://user:pw@Example.com:8443/a/b%20c/d.html?q=1&r=/x?#frag/?");
    ASSERT_TRUE(url);
    EXPECT_TRUE(url->isAbsolute());
    EXPECT_FALSE(url->isFileURL());
    EXPECT_EQ(url->scheme(), "https");
    EXPECT_EQ(url->absoluteString(), "HTTPS://user:pw@Example.com:8443/a/b%20c/d.html?q=1&r=/x?#frag/?");
    EXPECT_TRUE(url->hasAuthority());
    EXPECT_EQ(url->host(), "Example.com");
    EXPECT_EQ(url->port(), 8443);
    EXPECT_EQ(url->percentEncodedPath(), "/a/b%20c/d.html");
    EXPECT_EQ(url->path(), "/a/b c/d.html");
    EXPECT_EQ(url->query(), "q=1&r=/x?");
    EXPECT_EQ(url->fragment(), "frag/?");
    EXPECT_EQ(url->lastPathComponent(), "d.html");
    EXPECT_EQ(url->absoluteStringWithoutFragment(), "HTTPS://user:pw@Example.com:8443/a/b%20c/d.html?q=1&r=/x?");
}

TEST(URLParsing, EmptyPartsAreKeptApartFromMissingOnes) {
    const auto url = URL::create("http://host:/?#");
    ASSERT_TRUE(url);
    EXPECT_EQ(url->port(), std::nullopt);
    EXPECT_EQ(url->query(), "");
    EXPECT_EQ(url->fragment(), "");

    const auto bare = URL::create("http://host");
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->percentEncodedPath(), "");
    EXPECT_EQ(bare->query(), std::nullopt);
    EXPECT_EQ(bare->fragment(), std::nullopt);

    const auto emptyAuthority = URL::create("x://");
    ASSERT_TRUE(emptyAuthority);
    EXPECT_TRUE(emptyAuthority->hasAuthority());
    EXPECT_EQ(emptyAuthority->host(), "");
}

TEST(URLParsing, BracketedIPv6HostsLoseTheirBrackets) {
    const auto url = URL::create("http://[2001:db8::7]:8080/c=GB?objectClass?one");
    ASSERT_TRUE(url);
    EXPECT_EQ(url->host(), "2001:db8::7");
    EXPECT_EQ(url->port(), 8080);
    EXPECT_EQ(url->query(), "objectClass?one");

    const auto mapped = URL::create("http://[::ffff:192.0.2.1]/");
    ASSERT_TRUE(mapped);
    EXPECT_EQ(mapped->host(), "::ffff:192.0.2.1");
    EXPECT_TRUE(URL::create("http://[v7.fe80::1-en0]/"));
}

TEST(URLParsing, URLsWithoutAuthorityAreAbsolute) {
    const struct {
        const char* text;
        const char* scheme;
        const char* path;
    } cases[] = {
        {"about:blank", "about", "blank"},
        {"data:text/plain;base64,SGk=", "data", "text/plain;base64,SGk="},
        {"mailto:x@y", "mailto", "x@y"},
        {"urn:example:animal:ferret:nose", "urn", "example:animal:ferret:nose"},
        {"about:", "about", ""},
        {"a+b-c.d9:x", "a+b-c.d9", "x"},
        {"file:/etc/hosts", "file", "/etc/hosts"},
    };
    for (const auto& c : cases) {
        const auto url = URL::create(c.text);
        ASSERT_TRUE(url) << c.text;
        EXPECT_TRUE(url->isAbsolute()) << c.text;
        EXPECT_FALSE(url->hasAuthority()) << c.text;
        EXPECT_EQ(url->scheme(), c.scheme) << c.text;
        EXPECT_EQ(url->percentEncodedPath(), c.path) << c.text;
    }
}

TEST(URLParsing, FileURLsHaveAnEmptyAuthority) {
    const auto url = URL::create("file:///www/index.html");
    ASSERT_TRUE(url);
    EXPECT_TRUE(url->isFileURL());
    EXPECT_TRUE(url->hasAuthority());
    EXPECT_EQ(url->host(), "");
    EXPECT_EQ(url->path(), "/www/index.html");
}

TEST(URLParsing, RelativeReferencesHaveNoScheme) {
    for (const char* text : {"index.html?x#y", "/www/a:b", "//host/p", "?q", "#f", ".", "../a/./b", "a/b:c"}) {
        const auto url = URL::create(text);
        ASSERT_TRUE(url) << text;
        EXPECT_FALSE(url->isAbsolute()) << text;
        EXPECT_EQ(url->scheme(), "") << text;
        EXPECT_EQ(url->absoluteString(), text);
    }
    const auto url = URL::create("index.html?x#y");
    EXPECT_EQ(url->percentEncodedPath(), "index.html");
    EXPECT_EQ(url->query(), "x");
    EXPECT_EQ(url->fragment(), "y");
}

TEST(URLParsing, RejectsTextsThatAreNoURIReference) {
    const char* texts[] = {
        "",                          // names nothing without a base
        "http://exa mple.com/",      // blank
        "index .html",               //
        "http://x/a\tb",             // control characters
        "http://x/\n",               //
        "http://x/\x7f",            //
        "http://x/\xC3\xA9",         // non-ASCII
        "\xC3\xA9:x",                //
        "http://x/%",                // broken escapes
        "http://x/%4",               //
        "http://x/%zz",              //
        "http://x/?q=%G0",           //
        "http://x/#%",               //
        "http://x:80a/",             // bad ports
        "http://x:-1/",              //
        "http://x:65536/",           //
        "http://x:99999999999999999999/",
        ":nothing",                  // bad schemes
        "1http://x",                 //
        "+x:y",                      //
        "ht_tp:x",                   //
        "ht tp://x",                 //
        "a:b#c#d",                   // a second "#"
        "http://x/<script>",         // characters outside the grammar
        "http://x/{}",               //
        "http://x/a\\b",             //
        "http://x/\"",               //
        "http://[::1/",              // unclosed or malformed IP literals
        "http://[fe80::g]/",         //
        "http://[::1]x/",            //
        "http://a[b]/",              //
        "http://us er@x/",           // bad user info
    };
    for (const char* text : texts) EXPECT_FALSE(URL::create(text)) << text;
    EXPECT_FALSE(URL::create(std::string("http://x/\0y", 11)));
    // A NUL inside an IP literal must not hide the bytes after it.
    const char hidden[] = "http://[::1\0\xff]/";
    EXPECT_FALSE(URL::create(std::string(hidden, sizeof hidden - 1)));
}

TEST(URLParsing, SchemeIsLowerCasedWhileTheTextIsKeptAsGiven) {
    const auto url = URL::create("HTTPS://Example.com/Path?q=1");
    ASSERT_TRUE(url);
    EXPECT_EQ(url->scheme(), "https");
    EXPECT_EQ(url->host(), "Example.com");
    EXPECT_EQ(url->absoluteString(), "HTTPS://Example.com/Path?q=1");
    EXPECT_EQ(URL::create("x:y:z")->scheme(), "x");  // the first colon ends the scheme
    EXPECT_EQ(URL::create("gap://ready")->host(), "ready");
}

TEST(URLPath, DecodesEscapesAsUTF8) {
    EXPECT_EQ(URL::create("http://x/caf%C3%A9%2Fbar")->path(), "/caf\xC3\xA9/bar");
    EXPECT_EQ(URL::create("http://x/caf%C3%A9%2Fbar")->percentEncodedPath(), "/caf%C3%A9%2Fbar");
    // Escapes that decode to no valid UTF-8 give no path rather than garbage.
    EXPECT_EQ(URL::create("http://x/%FF%FE")->path(), "");
    EXPECT_EQ(URL::create("http://x/%FF%FE")->percentEncodedPath(), "/%FF%FE");
}

TEST(URLPath, LastPathComponentIgnoresTrailingSlashes) {
    const std::pair<const char*, const char*> cases[] = {
        {"http://x/a/b.html", "b.html"}, {"http://x/a/b/", "b"},  {"http://x/a//", "a"},
        {"http://x/", "/"},              {"http://x", ""},        {"about:blank", "blank"},
        {"file:///a/my%20file.txt", "my file.txt"},              {"rel/name?x#y", "name"},
    };
    for (const auto& [text, component] : cases) EXPECT_EQ(URL::create(text)->lastPathComponent(), component) << text;
}

// RFC 3986 section 5.4.1.
TEST(URLResolution, NormalExamplesOfTheRFC) {
    const std::pair<const char*, const char*> cases[] = {
        {"g:h", "g:h"},
        {"g", "http://a/b/c/g"},
        {"./g", "http://a/b/c/g"},
        {"g/", "http://a/b/c/g/"},
        {"/g", "http://a/g"},
        {"//g", "http://g"},
        {"?y", "http://a/b/c/d;p?y"},
        {"g?y", "http://a/b/c/g?y"},
        {"#s", "http://a/b/c/d;p?q#s"},
        {"g#s", "http://a/b/c/g#s"},
        {"g?y#s", "http://a/b/c/g?y#s"},
        {";x", "http://a/b/c/;x"},
        {"g;x", "http://a/b/c/g;x"},
        {"g;x?y#s", "http://a/b/c/g;x?y#s"},
        {"", "http://a/b/c/d;p?q"},
        {".", "http://a/b/c/"},
        {"./", "http://a/b/c/"},
        {"..", "http://a/b/"},
        {"../", "http://a/b/"},
        {"../g", "http://a/b/g"},
        {"../..", "http://a/"},
        {"../../", "http://a/"},
        {"../../g", "http://a/g"},
    };
    for (const auto& [reference, expected] : cases)
        EXPECT_EQ(resolve(reference, "http://a/b/c/d;p?q"), expected) << reference;
}

// RFC 3986 section 5.4.2.
TEST(URLResolution, AbnormalExamplesOfTheRFC) {
    const std::pair<const char*, const char*> cases[] = {
        {"../../../g", "http://a/g"},
        {"../../../../g", "http://a/g"},
        {"/./g", "http://a/g"},
        {"/../g", "http://a/g"},
        {"g.", "http://a/b/c/g."},
        {".g", "http://a/b/c/.g"},
        {"g..", "http://a/b/c/g.."},
        {"..g", "http://a/b/c/..g"},
        {"./../g", "http://a/b/g"},
        {"./g/.", "http://a/b/c/g/"},
        {"g/./h", "http://a/b/c/g/h"},
        {"g/../h", "http://a/b/c/h"},
        {"g;x=1/./y", "http://a/b/c/g;x=1/y"},
        {"g;x=1/../y", "http://a/b/c/y"},
        {"g?y/./x", "http://a/b/c/g?y/./x"},
        {"g?y/../x", "http://a/b/c/g?y/../x"},
        {"g#s/./x", "http://a/b/c/g#s/./x"},
        {"g#s/../x", "http://a/b/c/g#s/../x"},
        {"http:g", "http:g"},
    };
    for (const auto& [reference, expected] : cases)
        EXPECT_EQ(resolve(reference, "http://a/b/c/d;p?q"), expected) << reference;
}

TEST(URLResolution, ResolvedURLsAreFullyParsed) {
    const auto base = URL::create("file:///app/www/index.html?x=1#top");
    ASSERT_TRUE(base);
    const auto url = URL::create("../img/a%20b.png#f", *base);
    ASSERT_TRUE(url);
    EXPECT_EQ(url->absoluteString(), "file:///app/img/a%20b.png#f");
    EXPECT_TRUE(url->isFileURL());
    EXPECT_EQ(url->path(), "/app/img/a b.png");
    EXPECT_EQ(url->fragment(), "f");
    EXPECT_EQ(url->query(), std::nullopt);

    // The base's authority comes along as written, port and IP literal included.
    EXPECT_EQ(resolve("x?y", "http://u@[::1]:81/p/q"), "http://u@[::1]:81/p/x?y");
    // A base with an authority and no path still gives a rooted path.
    EXPECT_EQ(resolve("g", "http://a"), "http://a/g");
    // Bases without authority resolve too.
    EXPECT_EQ(resolve("other", "mailto:x@y"), "mailto:other");
    EXPECT_EQ(resolve("#frag", "about:blank"), "about:blank#frag");
}

TEST(URLResolution, APathThatWouldReadAsAnAuthorityStaysAPath) {
    const auto url = URL::create("..//g", *URL::create("foo:/a/b"));
    ASSERT_TRUE(url);
    EXPECT_FALSE(url->hasAuthority());
    EXPECT_EQ(url->path(), "/.//g");
    EXPECT_EQ(url->host(), "");
}

TEST(URLResolution, NeedsAnAbsoluteBaseAndAValidReference) {
    const auto relativeBase = URL::create("a/b");
    ASSERT_TRUE(relativeBase);
    EXPECT_FALSE(URL::create("g", *relativeBase));
    const auto base = URL::create("http://a/b");
    EXPECT_FALSE(URL::create("g h", *base));
    EXPECT_FALSE(URL::create("%zz", *base));
    EXPECT_FALSE(URL::create("http://x:port/", *base));
}

TEST(URLFileURL, EscapesWhatAPathMayNotHold) {
    const URL url = URL::fileURLWithPath("/tmp/my docs/100%?#\xC3\xA9.txt");
    EXPECT_EQ(url.absoluteString(), "file:///tmp/my%20docs/100%25%3F%23%C3%A9.txt");
    EXPECT_TRUE(url.isFileURL());
    EXPECT_EQ(url.path(), "/tmp/my docs/100%?#\xC3\xA9.txt");
    EXPECT_EQ(url.query(), std::nullopt);
    EXPECT_EQ(url.fragment(), std::nullopt);
    EXPECT_EQ(url.lastPathComponent(), "100%?#\xC3\xA9.txt");
    // Characters a path segment may hold stay as they are.
    EXPECT_EQ(URL::fileURLWithPath("/a/b;c=d@e:f+g").absoluteString(), "file:///a/b;c=d@e:f+g");
}

TEST(URLFileURL, KeepsAFolderSlashAndAnchorsRelativePathsAtTheCurrentDirectory) {
    EXPECT_EQ(URL::fileURLWithPath("/www/").absoluteString(), "file:///www/");
    EXPECT_EQ(URL::fileURLWithPath("/www").absoluteString(), "file:///www");
    EXPECT_EQ(URL::fileURLWithPath("/").absoluteString(), "file:///");

    const std::string cwd = std::filesystem::current_path().string();
    const URL relative = URL::fileURLWithPath("sub/file.txt");
    EXPECT_EQ(relative.path(), (cwd == "/" ? "" : cwd) + "/sub/file.txt");
    EXPECT_EQ(URL::fileURLWithPath("").path(), cwd == "/" ? "/" : cwd + "/");
}
