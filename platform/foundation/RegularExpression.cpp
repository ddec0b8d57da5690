#include "platform/foundation/RegularExpression.h"

#include <mutex>
#include <vector>

#include <unicode/regex.h>
#include <unicode/unistr.h>

namespace platform {

struct RegularExpression::Compiled {
    std::unique_ptr<icu::RegexPattern> pattern;
    // Matchers are costly to make and not thread-safe, so searches borrow one
    // from this pool and give it back. Declared after the pattern: matchers
    // must go before the pattern they refer to.
    std::mutex poolMutex;
    std::vector<std::unique_ptr<icu::RegexMatcher>> pool;
};

namespace {

class BorrowedMatcher {
public:
    BorrowedMatcher(RegularExpression::Compiled& compiled, std::string_view text) : compiled_(compiled) {
        {
            std::lock_guard lock(compiled_.poolMutex);
            if (!compiled_.pool.empty()) {
                matcher_ = std::move(compiled_.pool.back());
                compiled_.pool.pop_back();
            }
        }
        UErrorCode status = U_ZERO_ERROR;
        if (!matcher_) matcher_.reset(compiled_.pattern->matcher(status));
        utext_openUTF8(&text_, text.data(), static_cast<int64_t>(text.size()), &status);
        if (U_FAILURE(status) || !matcher_) {
            matcher_.reset();
            return;
        }
        matcher_->reset(&text_);
    }
    ~BorrowedMatcher() {
        if (matcher_) {
            static const icu::UnicodeString nothing;
            matcher_->reset(nothing);  // a pooled matcher must not keep pointing at the caller's text
            std::lock_guard lock(compiled_.poolMutex);
            compiled_.pool.push_back(std::move(matcher_));
        }
        utext_close(&text_);
    }
    BorrowedMatcher(const BorrowedMatcher&) = delete;
    BorrowedMatcher& operator=(const BorrowedMatcher&) = delete;
    icu::RegexMatcher* get() const { return matcher_.get(); }

private:
    RegularExpression::Compiled& compiled_;
    std::unique_ptr<icu::RegexMatcher> matcher_;
    UText text_ = UTEXT_INITIALIZER;
};

}  // namespace

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
    // Offsets are reported in UTF-16 units, so the text is converted rather than read as UTF-8.
    std::unique_ptr<icu::RegexMatcher> matcher(compiled_->pattern->matcher(subject, status));
    if (U_FAILURE(status) || !matcher || !matcher->find(status) || U_FAILURE(status)) return std::nullopt;
    const int32_t start = matcher->start(status);
    const int32_t end = matcher->end(status);
    if (U_FAILURE(status)) return std::nullopt;
    return Range{static_cast<std::size_t>(start), static_cast<std::size_t>(end - start)};
}

bool RegularExpression::matchesSomewhere(std::string_view text) const {
    // The UTF-8 text is read in place: no offsets are needed, so no conversion is either.
    BorrowedMatcher matcher(*compiled_, text);
    if (!matcher.get()) return false;
    UErrorCode status = U_ZERO_ERROR;
    const bool found = matcher.get()->find(status);
    return found && U_SUCCESS(status);
}

bool RegularExpression::matchesEntirely(std::string_view text) const {
    BorrowedMatcher matcher(*compiled_, text);
    if (!matcher.get()) return false;
    UErrorCode status = U_ZERO_ERROR;
    const bool matched = matcher.get()->matches(status);
    return matched && U_SUCCESS(status);
}

}  // namespace platform
