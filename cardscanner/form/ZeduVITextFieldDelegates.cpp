#include "cardscanner/form/ZeduVITextFieldDelegates.h"

#include <algorithm>
#include <any>
#include <string_view>

#include "cardscanner/results/ZeduVICreditCardInfo.h"
#include "cardscanner/results/ZeduVICreditCardNumber.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/Device.h"

namespace cardscanner {

namespace {

constexpr long kDefaultNumberLength = 16;

bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::size_t digitsBefore(const std::string& text, std::size_t offset) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < offset && i < text.size(); ++i) count += isDigit(text[i]) ? 1 : 0;
    return count;
}

// The offset just after the `digits`-th digit of the text (0: the start).
std::size_t offsetAfterDigits(const std::string& text, std::size_t digits) {
    if (digits == 0) return 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (isDigit(text[i]) && --digits == 0) return i + 1;
    }
    return text.size();
}

// Rewrites the field, the caret staying after the same digit (or at the end
// when it was there), since the rewrite only moves blanks and separators.
// The length the number's type asks for, judged on its leading digits: a
// number with one digit too many has no type as a whole. An unknown or
// ambiguous prefix gets the longest length, so a maximum left over from an
// earlier number never blocks a new one.
long typedNumberLength(const std::string& digits) {
    for (std::size_t prefix = std::min<std::size_t>(digits.size(), kDefaultNumberLength); prefix > 0; --prefix) {
        const std::string_view leading = std::string_view(digits).substr(0, prefix);
        const int length = ZeduVICreditCardNumber::numberLengthForCardNumber(leading);
        if (length > 0) return length;
    }
    return kDefaultNumberLength;
}

void rewriteKeepingCaret(platform::UITextField& textField, const std::string& text) {
    const std::string& old = textField.text();
    const bool atEnd = textField.caretOffset() >= old.size();
    const std::size_t digits = digitsBefore(old, textField.caretOffset());
    textField.setText(text);
    textField.setCaretOffset(atEnd ? text.size() : offsetAfterDigits(text, digits));
}

void postTextDidChange(platform::UITextField& textField) {
    std::any object;
    if (auto self = std::dynamic_pointer_cast<platform::UITextField>(textField.weak_from_this().lock())) object = self;
    platform::NotificationCenter::defaultCenter().post(platform::UITextFieldTextDidChangeNotification, &textField,
                                                      object);
}

}  // namespace

void ZeduVIConfigurableTextFieldDelegate::vibrate() { platform::UIDevice::vibrate(); }

bool ZeduVIConfigurableTextFieldDelegate::containsOnlyDigits(const std::string& text) {
    for (char c : text) {
        if (!isDigit(c)) return false;
    }
    return true;
}

bool ZeduVIConfigurableTextFieldDelegate::textAfterChange(const std::string& text, platform::NSRange range,
                                                          const std::string& replacement, std::string& result) {
    if (range.location > text.size() || range.length > text.size() - range.location) return false;
    result = text;
    result.replace(range.location, range.length, replacement);
    return true;
}

bool ZeduVIConfigurableTextFieldDelegate::textFieldShouldChangeCharactersInRange(platform::UITextField& textField,
                                                                                 platform::NSRange range,
                                                                                 const std::string& replacement) {
    platform::assertMainThread("ZeduVIConfigurableTextFieldDelegate::textFieldShouldChangeCharactersInRange");
    std::string after;
    const bool refused = !textAfterChange(textField.text(), range, replacement, after) ||
                         (numbersOnly_ && !containsOnlyDigits(replacement)) ||
                         (maxLength_ > 0 && after.size() > static_cast<std::size_t>(maxLength_));
    if (refused) vibrate();
    return !refused;
}

bool ZeduVIConfigurableTextFieldDelegate::textFieldShouldReturn(platform::UITextField& textField) {
    platform::assertMainThread("ZeduVIConfigurableTextFieldDelegate::textFieldShouldReturn");
    textField.resignFirstResponder();
    return true;
}

ZeduVINumbersTextFieldDelegate::ZeduVINumbersTextFieldDelegate() {
    setNumbersOnly(true);
    setMaxLength(kDefaultNumberLength);
}

bool ZeduVINumbersTextFieldDelegate::textFieldShouldChangeCharactersInRange(platform::UITextField& textField,
                                                                            platform::NSRange range,
                                                                            const std::string& replacement) {
    platform::assertMainThread("ZeduVINumbersTextFieldDelegate::textFieldShouldChangeCharactersInRange");
    std::string after;
    // Only the digits count: a pasted "4111-1111-..." or a number with a
    // newline after it goes in whole, and regrouping drops the rest.
    const std::string replacementDigits = ZeduVICreditCardNumber::stringByRemovingNonNumbers(replacement);
    bool refused = !textAfterChange(textField.text(), range, replacementDigits, after);
    if (!refused) {
        const std::string digits = ZeduVICreditCardNumber::stringByRemovingNonNumbers(after);
        setMaxLength(typedNumberLength(digits));
        if (digits.size() > static_cast<std::size_t>(maxLength())) {
            refused = true;
            setMaxLength(kDefaultNumberLength);
        }
    }
    if (refused) vibrate();
    return !refused;
}

bool ZeduVINumbersTextFieldDelegate::cleanupTextField(platform::UITextField& textField) {
    platform::assertMainThread("ZeduVINumbersTextFieldDelegate::cleanupTextField");
    const std::string grouped = formatter_.stringForObjectValue(
        ZeduVIFormatterObject(ZeduVICreditCardNumber::stringByRemovingNonNumbers(textField.text())));
    if (grouped != textField.text()) rewriteKeepingCaret(textField, grouped);
    return true;
}

void ZeduVINumbersTextFieldDelegate::textFieldDidEndEditing(platform::UITextField& textField) {
    platform::assertMainThread("ZeduVINumbersTextFieldDelegate::textFieldDidEndEditing");
    cleanupTextField(textField);
    postTextDidChange(textField);
}

ZeduVIExpiryTextFieldDelegate::ZeduVIExpiryTextFieldDelegate() { setNumbersOnly(true); }

bool ZeduVIExpiryTextFieldDelegate::textFieldShouldChangeCharactersInRange(platform::UITextField& textField,
                                                                           platform::NSRange range,
                                                                           const std::string& replacement) {
    platform::assertMainThread("ZeduVIExpiryTextFieldDelegate::textFieldShouldChangeCharactersInRange");
    if (replacement.empty()) {
        backspacing_ = true;
        return true;
    }
    std::string after;
    const std::string replacementDigits = ZeduVICreditCardNumber::stringByRemovingNonNumbers(replacement);
    bool refused = !textAfterChange(textField.text(), range, replacementDigits, after) || after.size() >= 8;
    if (!refused) {
        const std::string digits = ZeduVICreditCardNumber::stringByRemovingNonNumbers(after);
        const std::string month = digits.substr(0, 2);
        refused = (!month.empty() && std::stoi(month) > 12) || month == "00";
    }
    if (refused) vibrate();
    return !refused;
}

bool ZeduVIExpiryTextFieldDelegate::cleanupTextField(platform::UITextField& textField) {
    platform::assertMainThread("ZeduVIExpiryTextFieldDelegate::cleanupTextField");
    if (backspacing_) {
        backspacing_ = false;
        return false;
    }
    std::string digits = ZeduVICreditCardNumber::stringByRemovingNonNumbers(textField.text());
    if (!digits.empty() && digits[0] >= '2') digits.insert(0, "0");
    if (digits.size() >= 2) digits.insert(2, " / ");
    if (digits != textField.text()) rewriteKeepingCaret(textField, digits);
    return true;
}

void ZeduVIExpiryTextFieldDelegate::textFieldDidEndEditing(platform::UITextField& textField) {
    platform::assertMainThread("ZeduVIExpiryTextFieldDelegate::textFieldDidEndEditing");
    backspacing_ = false;
    cleanupTextField(textField);
    if (!textField.text().empty()) {
        auto record = std::make_shared<ZeduVICreditCardInfo>();
        ZeduVIFormatterObject object = record;
        formatter_.getObjectValue(object, textField.text(), nullptr);
        // Printing a missing year as "00" would read back as the year 2000.
        if (record->expiryYear() != 0) textField.setText(formatter_.stringForObjectValue(object));
    }
    postTextDidChange(textField);
}

ZeduVICVVTextFieldDelegate::ZeduVICVVTextFieldDelegate() {
    setNumbersOnly(true);
    setMaxLength(4);
}

void ZeduVICVVTextFieldDelegate::setMaxLength(long maxLength) {
    platform::assertMainThread("ZeduVICVVTextFieldDelegate::setMaxLength");
    ZeduVIConfigurableTextFieldDelegate::setMaxLength(maxLength >= 1 && maxLength <= 4 ? maxLength : 4);
}

bool ZeduVICVVTextFieldDelegate::isValidCVV(const std::string& cvv, const std::string& number) {
    const ZeduVICardType type = ZeduVICreditCardNumber::cardTypeForCardNumber(number);
    const int length = ZeduVICreditCardNumber::cvvLengthForCardType(type);
    if (length > 0) return cvv.size() == static_cast<std::size_t>(length);
    return cvv.size() >= 3;
}

ZeduVIPostalCodeTextFieldDelegate::ZeduVIPostalCodeTextFieldDelegate() { setMaxLength(20); }

bool ZeduVIPostalCodeTextFieldDelegate::isValidPostalCode(const std::string& postalCode) { return !postalCode.empty(); }

}  // namespace cardscanner
