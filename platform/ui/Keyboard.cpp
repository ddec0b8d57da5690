#include "platform/ui/Keyboard.h"

#include <algorithm>

#include "platform/foundation/NeverDestroyed.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/Value.h"
#include "platform/graphics/Context.h"
#include "platform/ui/Application.h"
#include "platform/ui/Screen.h"
#include "platform/ui/TextField.h"

namespace platform {

UIKeyboard& UIKeyboard::shared() {
    static NeverDestroyed<UIKeyboard> keyboard;
    return *keyboard;
}

CGRect UIKeyboard::frame() const {
    const CGRect screen = UIScreen::mainScreen().bounds();
    const UIInterfaceOrientation orientation = UIApplication::sharedApplication().statusBarOrientation();
    const bool landscape =
        orientation == UIInterfaceOrientationLandscapeLeft || orientation == UIInterfaceOrientationLandscapeRight;
    const double height = std::min(landscape ? UIKeyboardLandscapeHeight : UIKeyboardPortraitHeight, screen.size.height);
    return CGRectMake(0, screen.size.height - height, screen.size.width, height);
}

void UIKeyboard::post(const char* name) const {
    const CGRect f = frame();
    Value userInfo(Dictionary{
        {UIKeyboardFrameEndUserInfoKey, Value(Array{f.origin.x, f.origin.y, f.size.width, f.size.height})},
        {UIKeyboardAnimationDurationUserInfoKey, Value(UIKeyboardAnimationDuration)},
    });
    NotificationCenter::defaultCenter().post(name, this, {}, std::move(userInfo));
}

void UIKeyboard::show() {
    assertMainThread("UIKeyboard::show");
    if (visible_) return;
    post(UIKeyboardWillShowNotification);
    visible_ = true;
    post(UIKeyboardDidShowNotification);
}

void UIKeyboard::hide() {
    assertMainThread("UIKeyboard::hide");
    if (!visible_) return;
    post(UIKeyboardWillHideNotification);
    visible_ = false;
    post(UIKeyboardDidHideNotification);
}

bool UIKeyboard::typeText(const std::string& text) {
    if (!UITextField::firstResponder()) return false;
    for (std::size_t i = 0; i < text.size();) {
        std::size_t end = i + 1;
        while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) ++end;
        // Looked up per key: a delegate may move the keyboard on to the next field.
        if (const auto field = UITextField::firstResponder()) field->insertText(text.substr(i, end - i));
        i = end;
    }
    return true;
}

bool UIKeyboard::pressBackspace(std::size_t count) {
    if (!UITextField::firstResponder()) return false;
    for (std::size_t i = 0; i < count; ++i) {
        if (const auto field = UITextField::firstResponder()) field->deleteBackward();
    }
    return true;
}

bool UIKeyboard::pressReturn() {
    const auto field = UITextField::firstResponder();
    if (!field) return false;
    field->returnKey();
    return true;
}

void UIKeyboard::draw() const {
    if (!visible_) return;
    CGContextRef context = UIGraphicsGetCurrentContext();
    const CGRect f = frame();
    CGContextSaveGState(context);
    CGContextSetFillColorWithColor(context, UIColor::colorWithWhiteAlpha(0.82, 1).CGColor());
    CGContextFillRect(context, f);
    CGContextSetFillColorWithColor(context, UIColor::colorWithWhiteAlpha(0.98, 1).CGColor());
    constexpr int kRows = 4;
    constexpr int kKeys[kRows] = {10, 9, 7, 3};
    const double rowHeight = (f.size.height - 8) / kRows;
    const double keyWidth = f.size.width / 10;
    for (int row = 0; row < kRows; ++row) {
        const double rowWidth = keyWidth * (row == kRows - 1 ? 6 : kKeys[row]);
        const int keys = kKeys[row];
        const double width = rowWidth / keys;
        const double left = f.origin.x + (f.size.width - rowWidth) / 2;
        for (int key = 0; key < keys; ++key) {
            UIBezierPath::bezierPathWithRoundedRectCornerRadius(
                CGRectMake(left + key * width + 3, f.origin.y + 6 + row * rowHeight, width - 6, rowHeight - 8), 4)
                .fill();
        }
    }
    CGContextRestoreGState(context);
}

}  // namespace platform
