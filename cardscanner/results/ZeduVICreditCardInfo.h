#pragma once
// The card record a scan or the manual-entry form hands to its delegate and
// through it to the page. A plain mutable value: the scan view fills it on the
// main thread, the form edits it there, the CardScanner plugin reads it.
// Nothing here is guarded; share it between threads only after it is filled.

#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "cardscanner/results/ZeduVICardType.h"

namespace platform {
class UIImage;
}

namespace cardscanner {

class ZeduVICreditCardInfo {
public:
    // Every field empty or 0.
    ZeduVICreditCardInfo() = default;

    // Digits only; empty when no number was read or typed.
    const std::string& cardNumber() const { return cardNumber_; }
    void setCardNumber(std::string_view cardNumber) { cardNumber_ = cardNumber; }

    // 0 means none.
    unsigned expiryMonth() const { return expiryMonth_; }
    void setExpiryMonth(unsigned month) { expiryMonth_ = month; }
    unsigned expiryYear() const { return expiryYear_; }
    void setExpiryYear(unsigned year) { expiryYear_ = year; }

    const std::string& cvv() const { return cvv_; }
    void setCvv(std::string_view cvv) { cvv_ = cvv; }
    const std::string& postalCode() const { return postalCode_; }
    void setPostalCode(std::string_view postalCode) { postalCode_ = postalCode; }

    // The number came from the camera rather than the keyboard.
    bool scanned() const { return scanned_; }
    void setScanned(bool scanned) { scanned_ = scanned; }

    const std::shared_ptr<platform::UIImage>& cardImage() const { return cardImage_; }
    void setCardImage(std::shared_ptr<platform::UIImage> image) { cardImage_ = std::move(image); }

    // Always derived from cardNumber, so the two never disagree.
    ZeduVICardType cardType() const;
    // The number grouped as the number formatter shows it, with every digit
    // but the last four replaced by "•": safe for a log line or a label.
    std::string redactedCardNumber() const;

    // "CreditCardLogos/icon_visa_large.png" and so on, the resource path of
    // the type's logo in the scanner's bundle; empty for unrecognized,
    // ambiguous or any other value. The bundle's imageNamed: resolves it.
    static std::string logoPathForCardType(int cardType);
    // That logo from the scanner's bundle (ZeduVIBundle); nullptr for the
    // same values.
    static std::shared_ptr<platform::UIImage> logoForCardType(int cardType);
    // "Visa", "American Express", ... in the language or locale (English
    // when it has no name of its own); "" for unrecognized, ambiguous or any
    // other value.
    static std::string displayStringForCardType(int cardType, const std::string& languageOrLocale);

private:
    std::string cardNumber_;
    unsigned expiryMonth_ = 0;
    unsigned expiryYear_ = 0;
    std::string cvv_;
    std::string postalCode_;
    bool scanned_ = false;
    std::shared_ptr<platform::UIImage> cardImage_;
};

}  // namespace cardscanner
