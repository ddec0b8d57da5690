#pragma once
// The whitelist: which URLs the container may load or reach, compiled from
// the access origins of config.xml. Built once at container start-up, then
// only read; reading is safe from any thread (the bridge URL protocol asks
// from the loading threads).
//
// An origin is "[scheme://]host[:port][/path]" where the scheme may be "*",
// the host "*" or "*.domain", and the path may hold "*" wildcards. The origin
// "*" lifts every restriction for good. http, https, ftp and ftps never need
// a scheme entry; other schemes are only allowed once some origin names them.

#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace platform {
class URL;
}  // namespace platform

namespace hybrid {

// One compiled access origin. Each part that is absent allows any value.
class HYBWhitelistPattern {
public:
    // The regular-expression source for a pattern: every character literal
    // except, with wildcards, "*" for any run of characters; a trailing "/*"
    // also lets the path stop before the slash. Ends in "$".
    static std::string regexFromPattern(const std::string& pattern, bool allowWildcards);
    // Whether the whole of `text` fits regexFromPattern(pattern, true), decided
    // without a regular expression: an expression for "/*/*/*.js" backtracks
    // into cubic time on a long URL, this takes at most the text's length
    // times the pattern's. As in the expression, "*" stops at line breaks.
    static bool wildcardPatternMatches(std::string_view pattern, std::string_view text);

    // A scheme or port of nothing or "*" and a path of nothing or "/*" allow
    // anything; a host of "*" allows any host, "*.domain" the domain and
    // every sub-domain. No host at all allows only URLs without a host.
    HYBWhitelistPattern(const std::optional<std::string>& scheme, const std::optional<std::string>& host,
                        const std::optional<std::string>& port, const std::optional<std::string>& path);

    bool matches(const platform::URL& url) const;

private:
    bool hostMatches(const std::string& host) const;

    // Each empty optional allows anything. Scheme and host compare ignoring
    // ASCII case (a URL's host is ASCII), the path as written.
    std::optional<std::string> scheme_;
    std::optional<std::string> host_;
    bool hostAllowsSubdomains_ = false;
    std::optional<long long> port_;
    std::optional<std::string> path_;
};

class HYBWhitelist {
public:
    // initWithArray: every entry added in order.
    explicit HYBWhitelist(const std::vector<std::string>& entries);

    void addWhiteListEntry(const std::string& entry);

    bool schemeIsAllowed(const std::string& scheme) const;
    // Logs the rejection text when the URL is refused.
    bool URLIsAllowed(const platform::URL& url) const;
    bool URLIsAllowedLogFailure(const platform::URL& url, bool logFailure) const;
    // whitelistRejectionFormatString with its "%@" replaced by the URL's text.
    std::string errorStringForURL(const platform::URL& url) const;

    // Four dot-separated parts, each "*" or a decimal number up to 255.
    static bool isIPv4Address(const std::string& text);

    const std::string& whitelistRejectionFormatString() const { return whitelistRejectionFormatString_; }
    void setWhitelistRejectionFormatString(std::string format) { whitelistRejectionFormatString_ = std::move(format); }

    // Nothing: every URL is allowed (after the origin "*").
    const std::optional<std::vector<HYBWhitelistPattern>>& whitelist() const { return whitelist_; }
    // Nothing: every scheme is allowed. Held in lower case.
    const std::optional<std::set<std::string>>& permittedSchemes() const { return permittedSchemes_; }

private:
    std::optional<std::vector<HYBWhitelistPattern>> whitelist_;
    std::optional<std::set<std::string>> permittedSchemes_;
    std::string whitelistRejectionFormatString_;
};

}  // namespace hybrid
