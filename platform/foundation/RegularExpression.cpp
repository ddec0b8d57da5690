#include "platform/foundation/RegularExpression.h"

#include <unicode/regex.h>
#include <unicode/unistr.h>

namespace platform {

struct RegularExpression::Compiled {
    std::unique_ptr<icu::RegexPattern> pattern;
};

RegularExpression::RegularExpression(std::unique_ptr<Compiled> compiled) : compiled_(std::move(compiled)) {}
RegularExpression::~RegularExpression() = default;

std::unique_ptr<RegularExpression> RegularExpression::create(std::string_view pattern, Options options,
                                                             std::string* error) {
    UErrorCode status = U_ZERO_ERROR;
    UParseError parseError{};
    const uint32_t flags = options.caseInsensitive ? UREGEX_CASE_INSENSITIVE : 0;
    std::unique_ptr<icu::RegexPattern> compiled(icu::RegexPattern::compile(
        icu::UnicodeString::fromUTF8(icu::StringPiece(pattern.data(), static_cast<int32_t>(pattern.size()))), flags,
        parseError, status));
    if (U_FAILURE(status) || !compiled) {
        if (error) *error = u_errorName(status);
        return nullptr;
    }
    auto holder = std::make_unique<Compiled>();
    holder->pattern = std::move(compiled);
    return std::unique_ptr<RegularExpression>(new RegularExpression(std::move(holder)));
}

std::optional<RegularExpression::Range> RegularExpression::rangeOfFirstMatch(std::string_view text) const {
    UErrorCode status = U_ZERO_ERROR;
    const icu::UnicodeString subject =
        icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    std::unique_ptr<icu::RegexMatcher> matcher(compiled_->pattern->matcher(subject, status));
    if (U_FAILURE(status) || !matcher || !matcher->find(status) || U_FAILURE(status)) return std::nullopt;
    const int32_t start = matcher->start(status);
    const int32_t end = matcher->end(status);
    if (U_FAILURE(status)) return std::nullopt;
    return Range{static_cast<std::size_t>(start), static_cast<std::size_t>(end - start)};
}

bool RegularExpression::matchesEntirely(std::string_view text) const {
    UErrorCode status = U_ZERO_ERROR;
    const icu::UnicodeString subject =
        icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    std::unique_ptr<icu::RegexMatcher> matcher(compiled_->pattern->matcher(subject, status));
    if (U_FAILURE(status) || !matcher) return false;
    const bool matched = matcher->matches(status);
    return U_SUCCESS(status) && matched;
}

}  // namespace platform
