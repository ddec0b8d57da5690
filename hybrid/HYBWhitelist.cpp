#include "hybrid/HYBWhitelist.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/foundation/Log.h"
#include "platform/foundation/RegularExpression.h"
#include "platform/foundation/Strings.h"
#include "platform/foundation/URL.h"

namespace hybrid {

namespace {

constexpr const char* kDefaultScheme = "hyb-default-scheme";
constexpr const char* kRejectionFormat = "ERROR whitelist rejection: url='%@'";

bool isAlwaysAllowedScheme(const std::string& lowerCaseScheme) {
    return lowerCaseScheme == "http" || lowerCaseScheme == "https" || lowerCaseScheme == "ftp" ||
           lowerCaseScheme == "ftps";
}

bool isAsciiDigit(char c) { return c >= '0' && c <= '9'; }

bool isAsciiAlphanumeric(char c) {
    return isAsciiDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Whether a line terminator starts at `at`: a regular expression's "." never
// matches one, and wildcards keep to that.
bool isLineTerminatorAt(std::string_view text, std::size_t at) {
    const char c = text[at];
    if (c >= '\n' && c <= '\r') return true;
    const std::string_view rest = text.substr(at);
    return rest.starts_with("\xC2\x85") || rest.starts_with("\xE2\x80\xA8") || rest.starts_with("\xE2\x80\xA9");
}

// Every character literal but "*", which stands for any run of characters
// outside line terminators. The set of pattern positions reachable after each
// byte of the text is carried along in one pass, so no text makes it retry.
bool wildcardsMatch(std::string_view pattern, std::string_view text) {
    const std::size_t end = pattern.size();
    std::vector<std::size_t> current;
    std::vector<std::size_t> next;
    // The step at which a position was last added, so that each is added once a step.
    std::vector<std::size_t> addedAt(end + 1, SIZE_MAX);
    auto add = [&](std::vector<std::size_t>& positions, std::size_t step, std::size_t position) {
        while (addedAt[position] != step) {
            addedAt[position] = step;
            positions.push_back(position);
            if (position == end || pattern[position] != '*') break;
            ++position;  // a wildcard may also match nothing
        }
    };
    add(current, 0, 0);
    for (std::size_t i = 0; i < text.size() && !current.empty(); ++i) {
        next.clear();
        const bool lineTerminator = isLineTerminatorAt(text, i);
        for (const std::size_t position : current) {
            if (position == end) continue;
            if (pattern[position] == '*') {
                if (!lineTerminator) add(next, i + 1, position);
            } else if (pattern[position] == text[i]) {
                add(next, i + 1, position + 1);
            }
        }
        current.swap(next);
    }
    return std::find(current.begin(), current.end(), end) != current.end();
}

bool endsWithSlashStar(std::string_view pattern) { return pattern.ends_with("/*"); }

// Digits as they come from the entry syntax; too many of them is a port no
// URL can have, so saturating keeps the entry harmless.
long long parsePort(const std::string& digits) {
    long long value = 0;
    for (char c : digits) {
        if (!isAsciiDigit(c)) return -1;
        if (value > (LLONG_MAX - 9) / 10) return LLONG_MAX;
        value = value * 10 + (c - '0');
    }
    return value;
}

// The whole entry must fit: matched only at its start, "http://*example.com"
// would pass as scheme "http" with no host and allow every http URL. The port
// takes ASCII digits only, since ICU's \d also takes digits of other scripts.
const platform::RegularExpression& entrySyntax() {
    static const std::unique_ptr<platform::RegularExpression> syntax = platform::RegularExpression::create(
        R"(((\*|[A-Za-z-]+)://)?(((\*\.)?[^*/:]+)|\*)?(:([0-9]+))?(/.*)?)");
    return *syntax;
}

struct EntryParts {
    std::optional<std::string> scheme;
    std::optional<std::string> host;
    std::optional<std::string> port;
    std::optional<std::string> path;
};

// Splits an entry that fits the syntax. The syntax leaves no choice in where
// its parts end: a host holds no ":" or "/", so a "://" can only close a
// scheme written at the start, and the host ends at the first ":" or "/".
std::optional<EntryParts> splitEntry(const std::string& entry) {
    if (!entrySyntax().matchesEntirely(entry)) return std::nullopt;
    EntryParts parts;
    std::size_t position = 0;
    const std::size_t separator = entry.find("://");
    if (separator != std::string::npos && separator > 0) {
        const std::string candidate = entry.substr(0, separator);
        bool isScheme = candidate == "*";
        if (!isScheme) {
            isScheme = true;
            for (char c : candidate) {
                if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-')) isScheme = false;
            }
        }
        if (isScheme) {
            parts.scheme = candidate;
            position = separator + 3;
        }
    }
    std::size_t hostEnd = entry.find_first_of(":/", position);
    if (hostEnd == std::string::npos) hostEnd = entry.size();
    if (hostEnd > position) parts.host = entry.substr(position, hostEnd - position);
    position = hostEnd;
    if (position < entry.size() && entry[position] == ':') {
        std::size_t portEnd = entry.find('/', position);
        if (portEnd == std::string::npos) portEnd = entry.size();
        parts.port = entry.substr(position + 1, portEnd - position - 1);
        position = portEnd;
    }
    if (position < entry.size()) parts.path = entry.substr(position);
    return parts;
}

}  // namespace

std::string HYBWhitelistPattern::regexFromPattern(const std::string& pattern, bool allowWildcards) {
    std::string_view text = pattern;
    // A path ending in "/*" also matches without its last part, so that
    // "http://host/*" allows "http://host" itself.
    const bool optionalTail = allowWildcards && endsWithSlashStar(text);
    if (optionalTail) text.remove_suffix(2);
    std::string source;
    source.reserve(text.size() * 2 + 8);
    for (char c : text) {
        if (c == '*' && allowWildcards) {
            source += ".*";
        } else if (static_cast<unsigned char>(c) < 0x80 && c > ' ' && !isAsciiAlphanumeric(c)) {
            // A backslash before ASCII punctuation is always a literal in ICU;
            // before a letter or digit it would start an escape sequence.
            source += '\\';
            source += c;
        } else {
            source += c;
        }
    }
    if (optionalTail) source += "(\\/.*)?";
    source += '$';
    return source;
}

bool HYBWhitelistPattern::wildcardPatternMatches(std::string_view pattern, std::string_view text) {
    if (wildcardsMatch(pattern, text)) return true;
    // "/a/*" also allows "/a", as regexFromPattern's optional tail does.
    return endsWithSlashStar(pattern) && wildcardsMatch(pattern.substr(0, pattern.size() - 2), text);
}

HYBWhitelistPattern::HYBWhitelistPattern(const std::optional<std::string>& scheme,
                                         const std::optional<std::string>& host,
                                         const std::optional<std::string>& port,
                                         const std::optional<std::string>& path) {
    if (scheme && *scheme != "*") scheme_ = *scheme;

    // An absent host stays the empty text: the pattern then allows only URLs
    // without a host (the seeded "data:///*"), never any host.
    const std::string hostText = host.value_or("");
    if (platform::startsWith(hostText, "*.")) {
        host_ = hostText.substr(2);
        hostAllowsSubdomains_ = true;
    } else if (hostText != "*") {
        host_ = hostText;
    }

    if (port && *port != "*") port_ = parsePort(*port);

    if (path && *path != "/*") path_ = *path;
}

bool HYBWhitelistPattern::hostMatches(const std::string& host) const {
    if (!host_ || platform::equalsIgnoringCase(host, *host_)) return true;
    if (!hostAllowsSubdomains_ || host.size() <= host_->size()) return false;
    // A sub-domain: letters, digits, dots and hyphens, ending in a dot, before the domain.
    const std::string_view subdomain = std::string_view(host).substr(0, host.size() - host_->size());
    if (!subdomain.ends_with('.') || !platform::equalsIgnoringCase(host.substr(subdomain.size()), *host_)) return false;
    return std::all_of(subdomain.begin(), subdomain.end(),
                       [](char c) { return isAsciiAlphanumeric(c) || c == '.' || c == '-'; });
}

bool HYBWhitelistPattern::matches(const platform::URL& url) const {
    if (scheme_ && !platform::equalsIgnoringCase(url.scheme(), *scheme_)) return false;
    if (!hostMatches(url.host())) return false;
    if (port_) {
        const std::optional<int> urlPort = url.port();
        if (!urlPort || static_cast<long long>(*urlPort) != *port_) return false;
    }
    if (path_ && !wildcardPatternMatches(*path_, url.path())) return false;
    return true;
}

HYBWhitelist::HYBWhitelist(const std::vector<std::string>& entries)
    : whitelist_(std::vector<HYBWhitelistPattern>{}),
      permittedSchemes_(std::set<std::string>{}),
      whitelistRejectionFormatString_(kRejectionFormat) {
    for (const std::string& entry : entries) addWhiteListEntry(entry);
}

void HYBWhitelist::addWhiteListEntry(const std::string& entry) {
    if (!whitelist_) return;

    if (entry == "*") {
        platform::log("Unlimited access to network resources");
        whitelist_.reset();
        permittedSchemes_.reset();
        return;
    }

    std::optional<EntryParts> parts = splitEntry(entry);
    if (!parts) {
        platform::log("Ignoring malformed access origin: '" + entry + "'");
        return;
    }
    if (parts->scheme) parts->scheme = platform::toLower(*parts->scheme);

    if (!parts->host && parts->scheme && (*parts->scheme == "file" || *parts->scheme == "content")) {
        parts->host = "*";
    }

    if (parts->scheme) {
        whitelist_->emplace_back(parts->scheme, parts->host, parts->port, parts->path);
    } else {
        whitelist_->emplace_back(std::string("http"), parts->host, parts->port, parts->path);
        whitelist_->emplace_back(std::string("https"), parts->host, parts->port, parts->path);
    }

    if (permittedSchemes_ && parts->scheme) {
        if (*parts->scheme == "*") {
            permittedSchemes_.reset();
        } else {
            permittedSchemes_->insert(*parts->scheme);
        }
    }
}

bool HYBWhitelist::schemeIsAllowed(const std::string& scheme) const {
    const std::string lowerCaseScheme = platform::toLower(scheme);
    if (isAlwaysAllowedScheme(lowerCaseScheme)) return true;
    return !permittedSchemes_ || permittedSchemes_->count(lowerCaseScheme) > 0;
}

bool HYBWhitelist::URLIsAllowed(const platform::URL& url) const { return URLIsAllowedLogFailure(url, true); }

bool HYBWhitelist::URLIsAllowedLogFailure(const platform::URL& url, bool logFailure) const {
    if (!whitelist_) return true;

    const std::string scheme = platform::toLower(url.scheme());
    bool allowed = false;
    if (schemeIsAllowed(scheme)) {
        if (isAlwaysAllowedScheme(scheme)) {
            // Entries written with scheme "*" reach web URLs through this
            // neutral scheme as well as directly.
            const std::string& host = url.host();
            const std::string authority = host.find(':') != std::string::npos ? "[" + host + "]" : host;
            const std::optional<platform::URL> neutral = platform::URL::create(
                std::string(kDefaultScheme) + "://" + authority + platform::percentEscape(url.path(), "/"));
            if (neutral && URLIsAllowedLogFailure(*neutral, false)) return true;
        }
        for (const HYBWhitelistPattern& pattern : *whitelist_) {
            if (pattern.matches(url)) {
                allowed = true;
                break;
            }
        }
    }
    if (!allowed && logFailure) platform::log(errorStringForURL(url));
    return allowed;
}

std::string HYBWhitelist::errorStringForURL(const platform::URL& url) const {
    // Plain replacement: a URL holding "%" (any escaped one does) must come
    // out as written, and the format string is never read as printf text.
    const std::string& urlText = url.absoluteString();
    std::string text;
    const std::string& format = whitelistRejectionFormatString_;
    std::size_t position = 0;
    while (true) {
        const std::size_t marker = format.find("%@", position);
        if (marker == std::string::npos) break;
        text.append(format, position, marker - position);
        text += urlText;
        position = marker + 2;
    }
    text.append(format, position, std::string::npos);
    return text;
}

bool HYBWhitelist::isIPv4Address(const std::string& text) {
    // Digits read by hand: a locale-aware number reader would accept
    // grouping marks, signs or blanks.
    int components = 0;
    std::size_t start = 0;
    while (true) {
        std::size_t end = text.find('.', start);
        if (end == std::string::npos) end = text.size();
        const std::string_view component = std::string_view(text).substr(start, end - start);
        ++components;
        if (components > 4) return false;
        if (component != "*") {
            if (component.empty()) return false;
            int value = 0;
            for (char c : component) {
                if (!isAsciiDigit(c)) return false;
                value = value * 10 + (c - '0');
                if (value > 255) return false;
            }
        }
        if (end == text.size()) break;
        start = end + 1;
    }
    return components == 4;
}

}  // namespace hybrid
