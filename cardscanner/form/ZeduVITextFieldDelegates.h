#pragma once
// The delegates of the form's four text fields (number, expiry, CVV, postal
// code). Each refuses keystrokes that cannot lead to a valid entry, with a
// vibration so the user notices, and the number and expiry ones regroup
// their field's text. The form owns them (the field holds them weakly).
// Main thread only, like the fields they serve.

#include <memory>
#include <string>

#include "cardscanner/results/ZeduVICreditCardNumberFormatter.h"
#include "platform/ui/TextField.h"

namespace cardscanner {

class ZeduVIConfigurableTextFieldDelegate : public platform::UITextFieldDelegate {
public:
    bool numbersOnly() const { return numbersOnly_; }
    void setNumbersOnly(bool numbersOnly) { numbersOnly_ = numbersOnly; }
    // Below 1: no limit.
    long maxLength() const { return maxLength_; }
    virtual void setMaxLength(long maxLength) { maxLength_ = maxLength; }

    bool textFieldShouldChangeCharactersInRange(platform::UITextField& textField, platform::NSRange range,
                                                const std::string& replacement) override;
    // Resigns the keyboard.
    bool textFieldShouldReturn(platform::UITextField& textField) override;

    // The text with the range replaced; false when the range lies outside it.
    static bool textAfterChange(const std::string& text, platform::NSRange range, const std::string& replacement,
                                std::string& result);
    static bool containsOnlyDigits(const std::string& text);

protected:
    // The alert that tells the user a keystroke was refused.
    static void vibrate();

private:
    bool numbersOnly_ = false;
    long maxLength_ = 0;
};

class ZeduVINumbersTextFieldDelegate : public ZeduVIConfigurableTextFieldDelegate {
public:
    // Digits only, at most 16 until the number's type says otherwise.
    ZeduVINumbersTextFieldDelegate();

    const ZeduVICreditCardNumberFormatter& formatter() const { return formatter_; }

    bool textFieldShouldChangeCharactersInRange(platform::UITextField& textField, platform::NSRange range,
                                                const std::string& replacement) override;
    void textFieldDidEndEditing(platform::UITextField& textField) override;

    // Regroups the field's digits as the formatter does, keeping the caret
    // after the same digit; always true.
    bool cleanupTextField(platform::UITextField& textField);

private:
    ZeduVICreditCardNumberFormatter formatter_;
};

class ZeduVIExpiryTextFieldDelegate : public ZeduVIConfigurableTextFieldDelegate {
public:
    ZeduVIExpiryTextFieldDelegate();

    const ZeduVICreditCardExpiryFormatter& formatter() const { return formatter_; }
    // The last change only deleted; the next cleanup leaves the text alone
    // so that a backspace can remove the " / " it would otherwise restore.
    bool backspacing() const { return backspacing_; }

    bool textFieldShouldChangeCharactersInRange(platform::UITextField& textField, platform::NSRange range,
                                                const std::string& replacement) override;
    void textFieldDidEndEditing(platform::UITextField& textField) override;

    // "2" -> "02 / ", "123" -> "12 / 3"; false (text untouched) right after
    // a deletion.
    bool cleanupTextField(platform::UITextField& textField);

private:
    ZeduVICreditCardExpiryFormatter formatter_;
    bool backspacing_ = false;
};

class ZeduVICVVTextFieldDelegate : public ZeduVIConfigurableTextFieldDelegate {
public:
    // Digits only, at most 4.
    ZeduVICVVTextFieldDelegate();
    // 1 to 4; anything else means 4.
    void setMaxLength(long maxLength) override;

    // The type's CVV length for a number of known type, else at least 3 characters.
    static bool isValidCVV(const std::string& cvv, const std::string& number);
};

class ZeduVIPostalCodeTextFieldDelegate : public ZeduVIConfigurableTextFieldDelegate {
public:
    // Any characters, at most 20.
    ZeduVIPostalCodeTextFieldDelegate();

    static bool isValidPostalCode(const std::string& postalCode);
};

}  // namespace cardscanner
