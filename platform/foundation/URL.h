#pragma once
// A URL: an RFC 3986 URI reference, absolute ("https://host/p?q#f") or
// relative ("index.html?x#y"), parsed strictly: text with characters a URL
// may not hold (blanks, non-ASCII, a "%" not followed by two hex digits) is
// no URL at all. Immutable; safe to share across threads.

#include <optional>
#include <string>

namespace platform {

class URL {
public:
    // Nothing when the text is not a valid URI reference.
    static std::optional<URL> create(const std::string& text);
    // `text` resolved against `base` (RFC 3986 section 5.2); nothing when
    // `text` is invalid or `base` is not absolute.
    static std::optional<URL> create(const std::string& text, const URL& base);
    // A "file://" URL for an absolute file system path (relative paths are
    // taken from the current directory), its path percent-escaped as needed.
    static URL fileURLWithPath(const std::string& path);

    // The full text: the resolved text for URLs made against a base.
    const std::string& absoluteString() const { return text_; }
    bool isAbsolute() const { return !scheme_.empty(); }
    bool isFileURL() const { return scheme_ == "file"; }

    // Lower-cased scheme without ":", "" for relative references.
    const std::string& scheme() const { return scheme_; }
    // Whether the URL has an authority ("//..."), even an empty one.
    bool hasAuthority() const { return hasAuthority_; }
    // Host as written (without brackets for IPv6), "" when none.
    const std::string& host() const { return host_; }
    // The port written in the URL, if any.
    std::optional<int> port() const { return port_; }
    // The path, percent-decoded ("" when empty or not valid UTF-8 once decoded).
    std::string path() const;
    // The path exactly as written.
    const std::string& percentEncodedPath() const { return path_; }
    // Query and fragment as written, without "?" / "#".
    const std::optional<std::string>& query() const { return query_; }
    const std::optional<std::string>& fragment() const { return fragment_; }
    // The decoded last path component ("" for none).
    std::string lastPathComponent() const;
    // The text cut at the first "#".
    std::string absoluteStringWithoutFragment() const;

    friend bool operator==(const URL& a, const URL& b) { return a.text_ == b.text_; }

private:
    URL() = default;
    static std::optional<URL> parse(const std::string& text);
    std::string text_;
    std::string scheme_;
    bool hasAuthority_ = false;
    // Kept as written, so that resolution against this URL reproduces it.
    std::string authority_;
    std::string userInfo_;
    std::string host_;
    std::optional<int> port_;
    std::string path_;
    std::optional<std::string> query_;
    std::optional<std::string> fragment_;
};

}  // namespace platform
