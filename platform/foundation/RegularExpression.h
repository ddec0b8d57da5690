#pragma once
// Regular expressions over ICU (never std::regex, which recurses on long
// input). A compiled expression is immutable and may be shared across threads;
// each search makes its own matcher.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

struct RegularExpressionOptions {
    bool caseInsensitive = false;
};

class RegularExpression {
public:
    using Options = RegularExpressionOptions;
    // A match, as UTF-16 offsets into the searched text (the platform's unit).
    struct Range {
        std::size_t location = 0;
        std::size_t length = 0;
    };

    // Nothing, with the reason in *error when given, if the pattern does not compile.
    static std::unique_ptr<RegularExpression> create(std::string_view pattern, Options options = {},
                                                     std::string* error = nullptr);
    ~RegularExpression();

    // The first match in `text`, or nothing.
    std::optional<Range> rangeOfFirstMatch(std::string_view text) const;
    bool matchesSomewhere(std::string_view text) const;
    // Whether the whole of `text` matches.
    bool matchesEntirely(std::string_view text) const;

    struct Compiled;

private:
    explicit RegularExpression(std::unique_ptr<Compiled> compiled);
    std::unique_ptr<Compiled> compiled_;
};

}  // namespace platform
