#include "cardscanner/results/ZeduVICreditCardNumber.h"

#include <cstdint>
#include <iterator>
#include <vector>

#include "cardnumber/CardNumberRules.h"

namespace cardscanner {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::vector<std::uint8_t> digitValues(std::string_view number) {
    std::vector<std::uint8_t> digits;
    digits.reserve(number.size());
    for (char c : number) {
        if (isDigit(c)) digits.push_back(static_cast<std::uint8_t>(c - '0'));
    }
    return digits;
}

CardTypeInfo partialInfo(std::string_view number) {
    const std::vector<std::uint8_t> digits = digitValues(number);
    return card_info_for_number(digits.data(), digits.size(), true);
}

}  // namespace

ZeduVICardType ZeduVICreditCardNumber::cardTypeFromRecoCardType(long long recoCardType) {
    static constexpr ZeduVICardType kTable[] = {
        ZeduVICardTypeUnrecognized, ZeduVICardTypeAmbiguous,  ZeduVICardTypeAmericanExpress, ZeduVICardTypeJCB,
        ZeduVICardTypeVisa,         ZeduVICardTypeMasterCard, ZeduVICardTypeDiscover,
    };
    if (recoCardType < 0 || recoCardType >= static_cast<long long>(std::size(kTable))) return ZeduVICardTypeUnrecognized;
    return kTable[recoCardType];
}

ZeduVICardType ZeduVICreditCardNumber::cardTypeForCardNumber(std::string_view number) {
    return cardTypeFromRecoCardType(partialInfo(number).card_type);
}

int ZeduVICreditCardNumber::numberLengthForCardNumber(std::string_view number) {
    return partialInfo(number).number_length;
}

bool ZeduVICreditCardNumber::passesLuhnChecksum(std::string_view number) {
    // Character code minus '0' as the core's digit value: anything that is
    // not a digit lands outside 0..9, which the core refuses.
    std::vector<std::uint8_t> values;
    values.reserve(number.size());
    for (char c : number) values.push_back(static_cast<std::uint8_t>(static_cast<unsigned char>(c) - '0'));
    return passes_luhn(values.data(), values.size());
}

bool ZeduVICreditCardNumber::isValidNumber(std::string_view number) {
    const std::vector<std::uint8_t> digits = digitValues(number);
    return is_valid_card_number(digits.data(), digits.size());
}

int ZeduVICreditCardNumber::cvvLengthForCardType(int cardType) {
    switch (cardType) {
        case ZeduVICardTypeVisa:
        case ZeduVICardTypeMasterCard:
        case ZeduVICardTypeDiscover:
        case ZeduVICardTypeJCB:
            return 3;
        case ZeduVICardTypeAmericanExpress:
            return 4;
        default:
            return -1;
    }
}

std::string ZeduVICreditCardNumber::stringByRemovingNonNumbers(std::string_view text) {
    std::string digits;
    for (char c : text) {
        if (isDigit(c)) digits.push_back(c);
    }
    return digits;
}

std::string ZeduVICreditCardNumber::stringbyRemovingSpaces(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (char c : text) {
        if (c != ' ') result.push_back(c);
    }
    return result;
}

}  // namespace cardscanner
