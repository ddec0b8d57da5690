#pragma once
// Text <-> record conversions of the form's number and expiry fields, in the
// shape of the platform's formatters: getObjectValue reads a field's text
// into an object, stringForObjectValue shows an object as text. Stateless
// apart from the object passed in; main thread (the form).

#include <memory>
#include <string>
#include <string_view>
#include <variant>

#include "cardscanner/results/ZeduVICardType.h"

namespace cardscanner {

class ZeduVICreditCardInfo;

// What a formatter converts: nothing (nil), a card record, or a plain text.
using ZeduVIFormatterObject = std::variant<std::monostate, std::shared_ptr<ZeduVICreditCardInfo>, std::string>;

class ZeduVICreditCardNumberFormatter {
public:
    // A record gets the text's digits as its cardNumber; anything else is
    // replaced by the digit string. Always true.
    bool getObjectValue(ZeduVIFormatterObject& object, std::string_view string, std::string* errorDescription) const;

    // A record's number or a text, blanks dropped, cut to the length of the
    // type its leading digits show (so a paste with extra digits is cut
    // back) and grouped: 4-4-4-4 for Visa, MasterCard, Discover and JCB,
    // 4-6-5 for American Express, ungrouped otherwise. Empty for nil.
    std::string stringForObjectValue(const ZeduVIFormatterObject& object) const;

    // The grouping alone, for a text already free of blanks.
    static std::string groupedNumber(std::string_view number, ZeduVICardType type);
};

class ZeduVICreditCardExpiryFormatter {
public:
    // "MM / YY" (or "M/YYYY"): the digits before the "/" are the month, those
    // after it the year, a year below 2000 taken as 2000 + year % 100. Sets
    // the record's expiryMonth and expiryYear; any other object gives false
    // with "Unknown object type".
    bool getObjectValue(ZeduVIFormatterObject& object, std::string_view string, std::string* errorDescription) const;

    // "%02lu / %02lu" of a record's month and year % 100; empty for any other
    // object.
    std::string stringForObjectValue(const ZeduVIFormatterObject& object) const;
};

}  // namespace cardscanner
