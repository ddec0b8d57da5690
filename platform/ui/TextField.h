#pragma once
// A one-line text field: text or a placeholder in a rounded box, a caret
// while it is the first responder, and a delegate asked before each change.
//
// At most one field in the process is the first responder: the one the
// software keyboard (Keyboard.h) types into. becomeFirstResponder() asks the
// delegate, makes the previous field resign, then has the keyboard show;
// resignFirstResponder() hides it again when no field holds it any more.
// Edits that the keyboard makes (insertText, deleteBackward) go through the
// delegate's textFieldShouldChangeCharactersInRange and post
// UITextFieldTextDidChangeNotification (sender and object: the field);
// setText() is the program's own change and posts nothing, as on the phone.
//
// The delegate is held weakly. Texts are handled as UTF-8 bytes: ranges and
// the caret are byte offsets, and edits never split a character.
// Main thread only.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "platform/graphics/Font.h"
#include "platform/ui/Control.h"

namespace platform {

inline constexpr const char* UITextFieldTextDidChangeNotification = "UITextFieldTextDidChangeNotification";

struct NSRange {
    std::size_t location = 0;
    std::size_t length = 0;
    friend bool operator==(const NSRange&, const NSRange&) = default;
};

enum UITextFieldViewMode : long {
    UITextFieldViewModeNever = 0,
    UITextFieldViewModeWhileEditing = 1,
    UITextFieldViewModeUnlessEditing = 2,
    UITextFieldViewModeAlways = 3,
};

enum UIKeyboardType : long {
    UIKeyboardTypeDefault = 0,
    UIKeyboardTypeASCIICapable = 1,
    UIKeyboardTypeNumbersAndPunctuation = 2,
    UIKeyboardTypeURL = 3,
    UIKeyboardTypeNumberPad = 4,
};

enum UITextAutocorrectionType : long {
    UITextAutocorrectionTypeDefault = 0,
    UITextAutocorrectionTypeNo = 1,
    UITextAutocorrectionTypeYes = 2,
};

enum UITextBorderStyle : long {
    UITextBorderStyleNone = 0,
    UITextBorderStyleLine = 1,
    UITextBorderStyleBezel = 2,
    UITextBorderStyleRoundedRect = 3,
};

class UITextField;

// Optional methods throughout: the defaults allow everything and do nothing.
class UITextFieldDelegate {
public:
    virtual ~UITextFieldDelegate() = default;
    virtual bool textFieldShouldBeginEditing(UITextField&) { return true; }
    virtual void textFieldDidBeginEditing(UITextField&) {}
    virtual void textFieldDidEndEditing(UITextField&) {}
    // `range` in bytes of the field's current text.
    virtual bool textFieldShouldChangeCharactersInRange(UITextField&, NSRange, const std::string&) { return true; }
    virtual bool textFieldShouldReturn(UITextField&) { return true; }
};

class UITextField : public UIControl {
public:
    explicit UITextField(CGRect frame = CGRectZero);
    ~UITextField() override;

    const std::string& text() const { return text_; }
    // Puts the caret at the end; posts nothing.
    void setText(std::string text);
    const std::string& placeholder() const { return placeholder_; }
    void setPlaceholder(std::string placeholder);
    NSTextAlignment textAlignment() const { return textAlignment_; }
    void setTextAlignment(NSTextAlignment alignment);
    const UIColor& textColor() const { return textColor_; }
    void setTextColor(UIColor color);
    const UIFont& font() const { return font_; }
    void setFont(UIFont font);
    UITextBorderStyle borderStyle() const { return borderStyle_; }
    void setBorderStyle(UITextBorderStyle style);
    bool isSecureTextEntry() const { return secureTextEntry_; }
    void setSecureTextEntry(bool secure);
    UIKeyboardType keyboardType() const { return keyboardType_; }
    void setKeyboardType(UIKeyboardType type) { keyboardType_ = type; }
    UITextAutocorrectionType autocorrectionType() const { return autocorrectionType_; }
    void setAutocorrectionType(UITextAutocorrectionType type) { autocorrectionType_ = type; }
    UITextFieldViewMode clearButtonMode() const { return clearButtonMode_; }
    void setClearButtonMode(UITextFieldViewMode mode);
    // Shown at the right edge by rightViewMode, at its own size, centred vertically.
    const std::shared_ptr<UIView>& rightView() const { return rightView_; }
    void setRightView(std::shared_ptr<UIView> view);
    UITextFieldViewMode rightViewMode() const { return rightViewMode_; }
    void setRightViewMode(UITextFieldViewMode mode);

    std::shared_ptr<UITextFieldDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<UITextFieldDelegate> delegate) { delegate_ = std::move(delegate); }

    bool isEditing() const { return isFirstResponder(); }
    bool isFirstResponder() const;
    // False when the field is disabled, not shared, or its delegate refuses;
    // true (and nothing happens) when it already is the first responder.
    bool becomeFirstResponder();
    // Always succeeds here; true also when the field was not the first responder.
    bool resignFirstResponder();
    // The field the keyboard types into, while one does.
    static std::shared_ptr<UITextField> firstResponder();

    // Byte offset of the caret in text(), 0 ... text().size().
    std::size_t caretOffset() const { return caret_; }
    // Clamped to the text and moved back to a character boundary.
    void setCaretOffset(std::size_t offset);
    // What a key does. False when the delegate refused (nothing changes).
    bool insertText(const std::string& text);
    // Deletes the character before the caret; false at the start or when refused.
    bool deleteBackward();
    // The return key: asks textFieldShouldReturn (true without a delegate).
    bool returnKey();

    void drawRect(CGRect rect) override;
    void layoutSubviews() override;
    void touchesEnded(const UITouchSet& touches, const UIEvent& event) override;
    bool isKindOfClass(const std::string& className) const override {
        return className == "UITextField" || UIControl::isKindOfClass(className);
    }

private:
    bool replace(NSRange range, const std::string& replacement);
    void updateRightView();

    std::string text_;
    std::string placeholder_;
    NSTextAlignment textAlignment_ = NSTextAlignmentLeft;
    UIColor textColor_ = UIColor::blackColor();
    UIFont font_ = UIFont::systemFontOfSize(17);
    UITextBorderStyle borderStyle_ = UITextBorderStyleNone;
    bool secureTextEntry_ = false;
    UIKeyboardType keyboardType_ = UIKeyboardTypeDefault;
    UITextAutocorrectionType autocorrectionType_ = UITextAutocorrectionTypeDefault;
    UITextFieldViewMode clearButtonMode_ = UITextFieldViewModeNever;
    std::shared_ptr<UIView> rightView_;
    UITextFieldViewMode rightViewMode_ = UITextFieldViewModeNever;
    std::weak_ptr<UITextFieldDelegate> delegate_;
    std::size_t caret_ = 0;
};

}  // namespace platform
