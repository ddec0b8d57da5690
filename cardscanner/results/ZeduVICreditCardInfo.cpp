#include "cardscanner/results/ZeduVICreditCardInfo.h"

#include "cardscanner/util/ZeduVIBundle.h"
#include "cardscanner/results/ZeduVICreditCardNumber.h"
#include "cardscanner/results/ZeduVICreditCardNumberFormatter.h"
#include "cardscanner/util/ZeduVILocalizedString.h"

namespace cardscanner {

ZeduVICardType ZeduVICreditCardInfo::cardType() const {
    return ZeduVICreditCardNumber::cardTypeForCardNumber(cardNumber_);
}

std::string ZeduVICreditCardInfo::redactedCardNumber() const {
    const std::string digits = ZeduVICreditCardNumber::stringByRemovingNonNumbers(cardNumber_);
    std::string grouped = ZeduVICreditCardNumberFormatter::groupedNumber(digits, cardType());
    static constexpr std::string_view kMask = "\u2022";
    std::string redacted;
    std::size_t digitsLeft = digits.size();
    for (char c : grouped) {
        if (c == ' ') {
            redacted.push_back(c);
        } else {
            if (digitsLeft > 4) {
                redacted.append(kMask);
            } else {
                redacted.push_back(c);
            }
            --digitsLeft;
        }
    }
    return redacted;
}

std::string ZeduVICreditCardInfo::logoPathForCardType(int cardType) {
    const char* file = nullptr;
    switch (cardType) {
        case ZeduVICardTypeAmericanExpress:
            file = "icon_amex_large.png";
            break;
        case ZeduVICardTypeVisa:
            file = "icon_visa_large.png";
            break;
        case ZeduVICardTypeMasterCard:
            file = "icon_mastercard_large.png";
            break;
        case ZeduVICardTypeDiscover:
            file = "icon_discover.png";
            break;
        case ZeduVICardTypeJCB:
            file = "icon_jcb_large.png";
            break;
        default:
            return std::string();
    }
    return std::string("CreditCardLogos/") + file;
}

std::shared_ptr<platform::UIImage> ZeduVICreditCardInfo::logoForCardType(int cardType) {
    const std::string path = logoPathForCardType(cardType);
    return path.empty() ? nullptr : ZeduVIBundle::imageNamed(path);
}

std::string ZeduVICreditCardInfo::displayStringForCardType(int cardType, const std::string& languageOrLocale) {
    const char* key = nullptr;
    switch (cardType) {
        case ZeduVICardTypeAmericanExpress:
            key = "card_type_amex";
            break;
        case ZeduVICardTypeVisa:
            key = "card_type_visa";
            break;
        case ZeduVICardTypeMasterCard:
            key = "card_type_mastercard";
            break;
        case ZeduVICardTypeDiscover:
            key = "card_type_discover";
            break;
        case ZeduVICardTypeJCB:
            key = "card_type_jcb";
            break;
        default:
            return std::string();
    }
    return localized_string(key, languageOrLocale);
}

}  // namespace cardscanner
