#include "platform/foundation/URL.h"

#include <arpa/inet.h>
#include <unistd.h>

#include <string_view>
#include <vector>

#include "platform/foundation/Strings.h"

namespace platform {
namespace {

bool isAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isHexDigit(char c) { return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool isUnreserved(char c) { return isAlpha(c) || isDigit(c) || c == '-' || c == '.' || c == '_' || c == '~'; }
bool isSubDelim(char c) {
    return c == '!' || c == '$' || c == '&' || c == '\'' || c == '(' || c == ')' || c == '*' || c == '+' ||
           c == ',' || c == ';' || c == '=';
}
bool isPathChar(char c) { return isUnreserved(c) || isSubDelim(c) || c == ':' || c == '@'; }

// Whether every character of `text` passes `allowed`, a "%" counting only as
// the start of a two-digit escape.
template <typename Allowed>
bool allCharactersValid(std::string_view text, Allowed allowed) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%') {
            if (i + 2 >= text.size()) return false;
            if (!isHexDigit(text[i + 1]) || !isHexDigit(text[i + 2])) return false;
            i += 2;
        } else if (!allowed(c)) {
            return false;
        }
    }
    return true;
}

bool isValidScheme(std::string_view scheme) {
    if (scheme.empty() || !isAlpha(scheme[0])) return false;
    for (char c : scheme) {
        if (!isAlpha(c) && !isDigit(c) && c != '+' && c != '-' && c != '.') return false;
    }
    return true;
}

bool isValidIPLiteral(std::string_view literal) {
    if (literal.empty()) return false;
    if (literal[0] == 'v' || literal[0] == 'V') {
        // IPvFuture: "v" 1*HEXDIG "." 1*( unreserved / sub-delims / ":" )
        std::size_t i = 1;
        while (i < literal.size() && isHexDigit(literal[i])) ++i;
        if (i == 1 || i >= literal.size() || literal[i] != '.' || i + 1 == literal.size()) return false;
        for (++i; i < literal.size(); ++i) {
            const char c = literal[i];
            if (!isUnreserved(c) && !isSubDelim(c) && c != ':') return false;
        }
        return true;
    }
    // inet_pton accepts exactly the textual IPv6 forms (RFC 4291) that the
    // IPv6address rule of RFC 3986 describes, but it reads a C string: a NUL
    // would hide whatever follows it, so the characters are checked first.
    for (char c : literal) {
        if (!isHexDigit(c) && c != ':' && c != '.') return false;
    }
    const std::string address(literal);
    unsigned char buffer[16];
    return inet_pton(AF_INET6, address.c_str(), buffer) == 1;
}

struct Authority {
    std::string userInfo;
    std::string host;
    std::optional<int> port;
};

std::optional<Authority> parseAuthority(std::string_view authority) {
    Authority result;
    std::string_view rest = authority;
    if (const std::size_t at = rest.rfind('@'); at != std::string_view::npos) {
        const std::string_view userInfo = rest.substr(0, at);
        if (!allCharactersValid(userInfo, [](char c) { return isUnreserved(c) || isSubDelim(c) || c == ':'; }))
            return std::nullopt;
        result.userInfo = std::string(userInfo);
        rest = rest.substr(at + 1);
    }
    std::string_view portText;
    bool hasPort = false;
    if (!rest.empty() && rest[0] == '[') {
        const std::size_t close = rest.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        const std::string_view literal = rest.substr(1, close - 1);
        if (!isValidIPLiteral(literal)) return std::nullopt;
        result.host = std::string(literal);
        const std::string_view after = rest.substr(close + 1);
        if (!after.empty()) {
            if (after[0] != ':') return std::nullopt;
            hasPort = true;
            portText = after.substr(1);
        }
    } else {
        const std::size_t colon = rest.find(':');
        const std::string_view host = rest.substr(0, colon);
        if (!allCharactersValid(host, [](char c) { return isUnreserved(c) || isSubDelim(c); })) return std::nullopt;
        result.host = std::string(host);
        if (colon != std::string_view::npos) {
            hasPort = true;
            portText = rest.substr(colon + 1);
        }
    }
    if (hasPort && !portText.empty()) {
        long value = 0;
        for (char c : portText) {
            if (!isDigit(c)) return std::nullopt;
            value = value * 10 + (c - '0');
            if (value > 65535) return std::nullopt;
        }
        result.port = static_cast<int>(value);
    }
    return result;
}

// RFC 3986 section 5.2.4.
std::string removeDotSegments(std::string_view input) {
    std::vector<std::string_view> segments;
    const bool absolute = !input.empty() && input[0] == '/';
    bool trailingSlash = false;
    std::size_t position = absolute ? 1 : 0;
    while (position <= input.size()) {
        const std::size_t slash = input.find('/', position);
        const std::size_t end = slash == std::string_view::npos ? input.size() : slash;
        const std::string_view segment = input.substr(position, end - position);
        const bool last = slash == std::string_view::npos;
        if (segment == ".") {
            trailingSlash = last;
        } else if (segment == "..") {
            if (!segments.empty()) segments.pop_back();
            trailingSlash = last;
        } else {
            segments.push_back(segment);
            trailingSlash = false;
        }
        if (last) break;
        position = slash + 1;
    }
    std::string output = absolute ? "/" : "";
    for (std::size_t i = 0; i < segments.size(); ++i) {
        if (i > 0) output += '/';
        output += segments[i];
    }
    if (trailingSlash && !segments.empty()) output += '/';
    return output;
}

// RFC 3986 section 5.2.3.
std::string mergePaths(const URL& base, const std::string& referencePath) {
    const std::string& basePath = base.percentEncodedPath();
    if (base.hasAuthority() && basePath.empty()) return "/" + referencePath;
    const std::size_t slash = basePath.rfind('/');
    if (slash == std::string::npos) return referencePath;
    return basePath.substr(0, slash + 1) + referencePath;
}

}  // namespace

std::optional<URL> URL::parse(const std::string& text) {
    URL url;
    std::string_view rest = text;

    // The fragment may hold "?" and "/" but never a second "#".
    if (const std::size_t hash = rest.find('#'); hash != std::string_view::npos) {
        const std::string_view fragment = rest.substr(hash + 1);
        if (!allCharactersValid(fragment, [](char c) { return isPathChar(c) || c == '/' || c == '?'; }))
            return std::nullopt;
        url.fragment_ = std::string(fragment);
        rest = rest.substr(0, hash);
    }
    if (const std::size_t question = rest.find('?'); question != std::string_view::npos) {
        const std::string_view query = rest.substr(question + 1);
        if (!allCharactersValid(query, [](char c) { return isPathChar(c) || c == '/' || c == '?'; }))
            return std::nullopt;
        url.query_ = std::string(query);
        rest = rest.substr(0, question);
    }

    // A scheme is whatever precedes the first ":" that comes before any "/";
    // a relative reference may not have a ":" in its first segment, so a
    // malformed scheme makes the whole text invalid rather than relative.
    const std::size_t colon = rest.find(':');
    if (colon != std::string_view::npos && colon < rest.find('/')) {
        const std::string_view scheme = rest.substr(0, colon);
        if (!isValidScheme(scheme)) return std::nullopt;
        url.scheme_ = toLower(scheme);
        rest = rest.substr(colon + 1);
    }

    if (rest.size() >= 2 && rest[0] == '/' && rest[1] == '/') {
        const std::size_t end = rest.find('/', 2);
        const std::string_view authority = rest.substr(2, end == std::string_view::npos ? rest.npos : end - 2);
        auto parsed = parseAuthority(authority);
        if (!parsed) return std::nullopt;
        url.hasAuthority_ = true;
        url.authority_ = std::string(authority);
        url.userInfo_ = std::move(parsed->userInfo);
        url.host_ = std::move(parsed->host);
        url.port_ = parsed->port;
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end);
    }

    if (!allCharactersValid(rest, [](char c) { return isPathChar(c) || c == '/'; })) return std::nullopt;
    url.path_ = std::string(rest);
    url.text_ = text;
    return url;
}

std::optional<URL> URL::create(const std::string& text) {
    // An empty reference only means something against a base.
    if (text.empty()) return std::nullopt;
    return parse(text);
}

std::optional<URL> URL::create(const std::string& text, const URL& base) {
    if (!base.isAbsolute()) return std::nullopt;
    auto reference = parse(text);
    if (!reference) return std::nullopt;

    // RFC 3986 section 5.2.2, strict: a reference with a scheme is absolute
    // even when the scheme is the base's own.
    std::string scheme;
    std::optional<std::string> authority;
    std::string path;
    std::optional<std::string> query;
    if (reference->isAbsolute()) {
        scheme = reference->scheme_;
        if (reference->hasAuthority_) authority = reference->authority_;
        path = removeDotSegments(reference->path_);
        query = reference->query_;
    } else {
        scheme = base.scheme_;
        if (reference->hasAuthority_) {
            authority = reference->authority_;
            path = removeDotSegments(reference->path_);
            query = reference->query_;
        } else {
            if (base.hasAuthority_) authority = base.authority_;
            if (reference->path_.empty()) {
                path = base.path_;
                query = reference->query_ ? reference->query_ : base.query_;
            } else {
                if (reference->path_[0] == '/') {
                    path = removeDotSegments(reference->path_);
                } else {
                    path = removeDotSegments(mergePaths(base, reference->path_));
                }
                query = reference->query_;
            }
        }
    }

    // Section 5.3.
    std::string resolved = scheme + ":";
    if (authority) {
        resolved += "//" + *authority;
    } else if (path.size() >= 2 && path[0] == '/' && path[1] == '/') {
        // Without an authority a path may not start with "//": it would read
        // back as one. "/." keeps the path's meaning and the text unambiguous.
        resolved += "/.";
    }
    resolved += path;
    if (query) resolved += "?" + *query;
    if (reference->fragment_) resolved += "#" + *reference->fragment_;
    return parse(resolved);
}

URL URL::fileURLWithPath(const std::string& path) {
    std::string absolute = path;
    if (absolute.empty() || absolute[0] != '/') {
        std::string directory = "/";
        std::vector<char> buffer(4096);
        if (getcwd(buffer.data(), buffer.size())) directory = buffer.data();
        if (directory.empty() || directory.back() != '/') directory += '/';
        absolute = directory + absolute;
    }
    // Everything a path segment may hold stays; blanks, "%", "?", "#",
    // control and non-ASCII bytes are escaped.
    const std::string text = "file://" + percentEscape(absolute, "/!$&'()*+,;=:@");
    if (auto url = parse(text)) return *url;
    // Unreachable: the escaping leaves only characters a path may hold.
    URL url;
    url.text_ = "file:///";
    url.scheme_ = "file";
    url.hasAuthority_ = true;
    url.path_ = "/";
    return url;
}

std::string URL::path() const { return percentUnescape(path_).value_or(std::string()); }

std::string URL::lastPathComponent() const {
    std::string_view path = path_;
    if (path.empty()) return "";
    while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
    if (path == "/") return "/";
    const std::size_t slash = path.rfind('/');
    const std::string_view component = slash == std::string_view::npos ? path : path.substr(slash + 1);
    return percentUnescape(component).value_or(std::string());
}

std::string URL::absoluteStringWithoutFragment() const { return text_.substr(0, text_.find('#')); }

}  // namespace platform
