#include "cardscanner/results/ZeduVICreditCardNumberFormatter.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <span>

#include "cardscanner/results/ZeduVICreditCardInfo.h"
#include "cardscanner/results/ZeduVICreditCardNumber.h"

namespace cardscanner {

namespace {

// Digits of a text as a number; a run too long for unsigned stays at the
// largest value rather than wrapping into a plausible month.
unsigned saturatedDigitValue(std::string_view text) {
    unsigned long long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') continue;
        value = value * 10 + static_cast<unsigned>(c - '0');
        if (value > UINT_MAX) return UINT_MAX;
    }
    return static_cast<unsigned>(value);
}

}  // namespace

bool ZeduVICreditCardNumberFormatter::getObjectValue(ZeduVIFormatterObject& object, std::string_view string,
                                                     std::string* errorDescription) const {
    std::string digits = ZeduVICreditCardNumber::stringByRemovingNonNumbers(string);
    if (auto* record = std::get_if<std::shared_ptr<ZeduVICreditCardInfo>>(&object); record != nullptr && *record) {
        (*record)->setCardNumber(digits);
    } else {
        object = std::move(digits);
    }
    return true;
}

std::string ZeduVICreditCardNumberFormatter::stringForObjectValue(const ZeduVIFormatterObject& object) const {
    std::string text;
    if (const auto* record = std::get_if<std::shared_ptr<ZeduVICreditCardInfo>>(&object)) {
        if (*record) text = (*record)->cardNumber();
    } else if (const auto* string = std::get_if<std::string>(&object)) {
        text = *string;
    }
    text = ZeduVICreditCardNumber::stringbyRemovingSpaces(text);
    // The length is judged on the leading characters: looked up whole, a
    // text longer than its type has no type, so a pasted number with extra
    // digits would never be cut back. No type is longer than 16 digits.
    for (std::size_t prefix = std::min<std::size_t>(text.size(), 16); prefix > 0; --prefix) {
        const int length = ZeduVICreditCardNumber::numberLengthForCardNumber(std::string_view(text).substr(0, prefix));
        if (length <= 0) continue;
        if (text.size() > static_cast<std::size_t>(length)) text.resize(static_cast<std::size_t>(length));
        break;
    }
    return groupedNumber(text, ZeduVICreditCardNumber::cardTypeForCardNumber(text));
}

std::string ZeduVICreditCardNumberFormatter::groupedNumber(std::string_view number, ZeduVICardType type) {
    static constexpr std::size_t kFourFourFourFour[] = {4, 8, 12};
    static constexpr std::size_t kFourSixFive[] = {4, 10};
    std::span<const std::size_t> breaks;
    switch (type) {
        case ZeduVICardTypeVisa:
        case ZeduVICardTypeMasterCard:
        case ZeduVICardTypeDiscover:
        case ZeduVICardTypeJCB:
            breaks = kFourFourFourFour;
            break;
        case ZeduVICardTypeAmericanExpress:
            breaks = kFourSixFive;
            break;
        default:
            return std::string(number);
    }
    std::string grouped;
    std::size_t start = 0;
    for (std::size_t end : breaks) {
        // A blank only once a digit follows it, so a number being typed never
        // ends in one.
        if (number.size() <= end) break;
        grouped.append(number.substr(start, end - start)).push_back(' ');
        start = end;
    }
    grouped.append(number.substr(start));
    return grouped;
}

bool ZeduVICreditCardExpiryFormatter::getObjectValue(ZeduVIFormatterObject& object, std::string_view string,
                                                     std::string* errorDescription) const {
    auto* record = std::get_if<std::shared_ptr<ZeduVICreditCardInfo>>(&object);
    if (record == nullptr || !*record) {
        if (errorDescription != nullptr) *errorDescription = "Unknown object type";
        return false;
    }
    const std::size_t slash = string.find('/');
    const std::string_view monthPart = string.substr(0, slash);
    const std::string_view yearPart = slash == std::string_view::npos ? std::string_view() : string.substr(slash + 1);
    const unsigned month = saturatedDigitValue(monthPart);
    unsigned year = saturatedDigitValue(yearPart);
    // A field without year digits has no year; "00" is the year 2000.
    if (!ZeduVICreditCardNumber::stringByRemovingNonNumbers(yearPart).empty() && year < 2000) year = 2000 + year % 100;
    (*record)->setExpiryMonth(month);
    (*record)->setExpiryYear(year);
    return true;
}

std::string ZeduVICreditCardExpiryFormatter::stringForObjectValue(const ZeduVIFormatterObject& object) const {
    const auto* record = std::get_if<std::shared_ptr<ZeduVICreditCardInfo>>(&object);
    if (record == nullptr || !*record) return std::string();
    char text[64];
    std::snprintf(text, sizeof text, "%02lu / %02lu", static_cast<unsigned long>((*record)->expiryMonth()),
                  static_cast<unsigned long>((*record)->expiryYear() % 100));
    return text;
}

}  // namespace cardscanner
