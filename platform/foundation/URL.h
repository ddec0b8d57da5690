#pragma once
// A URL: an absolute URL text split into its parts. Immutable.

#include <optional>
#include <string>

namespace platform {

class URL {
public:
    // Nothing when the text is not an absolute URL ("scheme:" followed by anything).
    static std::optional<URL> create(const std::string& text);

    const std::string& absoluteString() const { return text_; }
    // Lower-cased scheme, without the ":".
    const std::string& scheme() const { return scheme_; }

    friend bool operator==(const URL& a, const URL& b) { return a.text_ == b.text_; }

private:
    URL() = default;
    std::string text_;
    std::string scheme_;
};

}  // namespace platform
