#include "platform/ui/TextField.h"

#include <algorithm>
#include <any>

#include "platform/foundation/NeverDestroyed.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/RunLoop.h"
#include "platform/graphics/BezierPath.h"
#include "platform/graphics/Context.h"
#include "platform/ui/Keyboard.h"

namespace platform {

namespace {

struct FirstResponder {
    std::weak_ptr<UITextField> field;
    const UITextField* identity = nullptr;  // outlives `field` for the destructor's check
};

FirstResponder& current() {
    // No reset: a field resigns from its destructor, which checks `identity`.
    static NeverDestroyed<FirstResponder> responder;
    return *responder;
}

bool isContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

std::size_t characterCount(const std::string& text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) { return !isContinuationByte(c); }));
}

std::string bullets(std::size_t count) {
    std::string out;
    for (std::size_t i = 0; i < count; ++i) out += "\u2022";
    return out;
}

bool shows(UITextFieldViewMode mode, bool editing) {
    switch (mode) {
    case UITextFieldViewModeAlways: return true;
    case UITextFieldViewModeWhileEditing: return editing;
    case UITextFieldViewModeUnlessEditing: return !editing;
    default: return false;
    }
}

constexpr double kTextInset = 7;
constexpr double kClearButtonSize = 19;

}  // namespace

UITextField::UITextField(CGRect frame) : UIControl(frame) {}

UITextField::~UITextField() {
    // The keyboard would otherwise stay up for a field nobody can resign.
    if (current().identity == this) {
        current() = {};
        UIKeyboard::shared().hide();
    }
}

void UITextField::setText(std::string text) {
    text_ = std::move(text);
    caret_ = text_.size();
    setNeedsDisplay();
}

void UITextField::setPlaceholder(std::string placeholder) {
    placeholder_ = std::move(placeholder);
    setNeedsDisplay();
}

void UITextField::setTextAlignment(NSTextAlignment alignment) {
    textAlignment_ = alignment;
    setNeedsDisplay();
}

void UITextField::setTextColor(UIColor color) {
    textColor_ = color;
    setNeedsDisplay();
}

void UITextField::setFont(UIFont font) {
    font_ = std::move(font);
    setNeedsDisplay();
}

void UITextField::setBorderStyle(UITextBorderStyle style) {
    borderStyle_ = style;
    setNeedsDisplay();
}

void UITextField::setSecureTextEntry(bool secure) {
    secureTextEntry_ = secure;
    setNeedsDisplay();
}

void UITextField::setClearButtonMode(UITextFieldViewMode mode) {
    clearButtonMode_ = mode;
    setNeedsDisplay();
}

void UITextField::setRightView(std::shared_ptr<UIView> view) {
    if (rightView_ && rightView_->superview().get() == this) rightView_->removeFromSuperview();
    rightView_ = std::move(view);
    if (rightView_) addSubview(rightView_);
    updateRightView();
}

void UITextField::setRightViewMode(UITextFieldViewMode mode) {
    rightViewMode_ = mode;
    updateRightView();
}

void UITextField::updateRightView() {
    if (rightView_) rightView_->setHidden(!shows(rightViewMode_, isFirstResponder()));
    setNeedsLayout();
    setNeedsDisplay();
}

void UITextField::layoutSubviews() {
    if (!rightView_) return;
    const CGRect b = bounds();
    const CGSize size = rightView_->frame().size;
    rightView_->setFrame(CGRectMake(b.origin.x + b.size.width - size.width,
                                    b.origin.y + (b.size.height - size.height) / 2, size.width, size.height));
}

bool UITextField::isFirstResponder() const { return current().identity == this && !current().field.expired(); }

std::shared_ptr<UITextField> UITextField::firstResponder() { return current().field.lock(); }

bool UITextField::becomeFirstResponder() {
    assertMainThread("UITextField::becomeFirstResponder");
    if (isFirstResponder()) return true;
    if (!isEnabled()) return false;
    const auto self = std::dynamic_pointer_cast<UITextField>(weak_from_this().lock());
    if (!self) return false;
    if (const auto delegate = delegate_.lock(); delegate && !delegate->textFieldShouldBeginEditing(*this)) return false;
    if (const auto previous = firstResponder()) {
        // Handed over without hiding the keyboard in between.
        current() = {};
        if (const auto delegate = previous->delegate_.lock()) delegate->textFieldDidEndEditing(*previous);
        previous->updateRightView();
    }
    current() = {self, this};
    caret_ = text_.size();
    updateRightView();
    UIKeyboard::shared().show();
    if (const auto delegate = delegate_.lock()) delegate->textFieldDidBeginEditing(*this);
    return true;
}

bool UITextField::resignFirstResponder() {
    assertMainThread("UITextField::resignFirstResponder");
    if (!isFirstResponder()) return true;
    current() = {};
    updateRightView();
    if (const auto delegate = delegate_.lock()) delegate->textFieldDidEndEditing(*this);
    if (!firstResponder()) UIKeyboard::shared().hide();
    return true;
}

void UITextField::setCaretOffset(std::size_t offset) {
    offset = std::min(offset, text_.size());
    while (offset > 0 && offset < text_.size() && isContinuationByte(text_[offset])) --offset;
    caret_ = offset;
    setNeedsDisplay();
}

bool UITextField::insertText(const std::string& text) { return replace({caret_, 0}, text); }

bool UITextField::deleteBackward() {
    if (caret_ == 0) return false;
    std::size_t start = caret_ - 1;
    while (start > 0 && isContinuationByte(text_[start])) --start;
    return replace({start, caret_ - start}, "");
}

bool UITextField::returnKey() {
    const auto delegate = delegate_.lock();
    return !delegate || delegate->textFieldShouldReturn(*this);
}

bool UITextField::replace(NSRange range, const std::string& replacement) {
    assertMainThread("UITextField::replace");
    range.location = std::min(range.location, text_.size());
    range.length = std::min(range.length, text_.size() - range.location);
    if (const auto delegate = delegate_.lock();
        delegate && !delegate->textFieldShouldChangeCharactersInRange(*this, range, replacement)) {
        return false;
    }
    // The delegate may have rewritten the text while it was asked.
    range.location = std::min(range.location, text_.size());
    range.length = std::min(range.length, text_.size() - range.location);
    text_.replace(range.location, range.length, replacement);
    caret_ = range.location + replacement.size();
    setNeedsDisplay();
    std::any object;
    if (const auto self = std::dynamic_pointer_cast<UITextField>(weak_from_this().lock())) object = self;
    NotificationCenter::defaultCenter().post(UITextFieldTextDidChangeNotification, this, object);
    return true;
}

void UITextField::touchesEnded(const UITouchSet& touches, const UIEvent& event) {
    const bool wasTracking = isTracking();
    UIControl::touchesEnded(touches, event);
    if (wasTracking && !touches.empty() && pointInside((*touches.begin())->locationInView(this))) becomeFirstResponder();
}

void UITextField::drawRect(CGRect) {
    CGContextRef context = UIGraphicsGetCurrentContext();
    const CGRect b = bounds();
    const bool editing = isFirstResponder();
    if (borderStyle_ == UITextBorderStyleRoundedRect) {
        CGContextSetFillColorWithColor(context, UIColor::whiteColor().CGColor());
        CGContextSetStrokeColorWithColor(context, UIColor::colorWithWhiteAlpha(0.75, 1).CGColor());
        auto box = UIBezierPath::bezierPathWithRoundedRectCornerRadius(
            CGRectMake(b.origin.x + 0.5, b.origin.y + 0.5, b.size.width - 1, b.size.height - 1), 5);
        box.fill();
        box.stroke();
    } else if (borderStyle_ != UITextBorderStyleNone) {
        CGContextSetStrokeColorWithColor(context, UIColor::colorWithWhiteAlpha(0.4, 1).CGColor());
        CGContextStrokeRect(context, CGRectMake(b.origin.x + 0.5, b.origin.y + 0.5, b.size.width - 1, b.size.height - 1));
    }
    double right = b.origin.x + b.size.width - kTextInset;
    if (rightView_ && !rightView_->isHidden()) right -= rightView_->frame().size.width;
    if (shows(clearButtonMode_, editing) && !text_.empty()) {
        const CGRect clear = CGRectMake(right - kClearButtonSize, b.origin.y + (b.size.height - kClearButtonSize) / 2,
                                        kClearButtonSize, kClearButtonSize);
        CGContextSetFillColorWithColor(context, UIColor::colorWithWhiteAlpha(0.7, 1).CGColor());
        CGContextFillEllipseInRect(context, clear);
        drawTextInRect("x", clear, UIFont::boldSystemFontOfSize(12), UIColor::whiteColor(), NSTextAlignmentCenter);
        right -= kClearButtonSize + 4;
    }
    const CGRect area = CGRectMake(b.origin.x + kTextInset, b.origin.y, std::max(0.0, right - b.origin.x - kTextInset),
                                   b.size.height);
    if (text_.empty() && !placeholder_.empty()) {
        drawTextInRect(placeholder_, area, font_, UIColor::colorWithWhiteAlpha(0.7, 1), textAlignment_);
    }
    const std::string shown = secureTextEntry_ ? bullets(characterCount(text_)) : text_;
    const double width = sizeWithFont(shown, font_).width;
    double start = area.origin.x;
    if (textAlignment_ == NSTextAlignmentCenter) start += (area.size.width - width) / 2;
    if (textAlignment_ == NSTextAlignmentRight) start += area.size.width - width;
    if (!text_.empty()) drawTextInRect(shown, area, font_, textColor_, textAlignment_);
    if (!editing) return;
    const std::string before = text_.substr(0, caret_);
    const double caretX = start + sizeWithFont(secureTextEntry_ ? bullets(characterCount(before)) : before, font_).width;
    const double caretHeight = font_.pointSize() * 1.2;
    CGContextSetFillColorWithColor(context, UIColor::colorWithRedGreenBlueAlpha(0.26, 0.42, 0.95, 1).CGColor());
    CGContextFillRect(context, CGRectMake(caretX, b.origin.y + (b.size.height - caretHeight) / 2, 2, caretHeight));
}

}  // namespace platform
