#include "platform/ui/Keyboard.h"

#include <algorithm>
#include <string>
#include <vector>

#include "platform/foundation/NeverDestroyed.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/Value.h"
#include "platform/graphics/BezierPath.h"
#include "platform/graphics/Context.h"
#include "platform/ui/Application.h"
#include "platform/ui/Screen.h"
#include "platform/ui/TextField.h"

namespace platform {

UIKeyboard& UIKeyboard::shared() {
    // Hidden again without notifications: whoever listened is gone with the test's windows.
    static NeverDestroyed<UIKeyboard> keyboard{ResetStage::Interface, [](UIKeyboard& k) { k.visible_ = false; }};
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

namespace {

void drawKeyCap(CGRect key, const std::string& label, const UIFont& font) {
    CGContextRef context = UIGraphicsGetCurrentContext();
    CGContextSetFillColorWithColor(context, UIColor::colorWithWhiteAlpha(0.98, 1).CGColor());
    UIBezierPath::bezierPathWithRoundedRectCornerRadius(key, 4).fill();
    drawTextInRect(label, key, font, UIColor::blackColor(), NSTextAlignmentCenter);
}

// Drawn rather than written: the machine's fonts may lack the erase glyph.
void drawDeleteGlyph(CGRect key) {
    CGContextRef context = UIGraphicsGetCurrentContext();
    const double height = std::min(18.0, key.size.height * 0.5), width = height * 1.5;
    const double x = key.origin.x + (key.size.width - width) / 2, y = key.origin.y + (key.size.height - height) / 2;
    CGContextSetStrokeColorWithColor(context, UIColor::blackColor().CGColor());
    CGContextSetLineWidth(context, 1.5);
    CGContextMoveToPoint(context, x, y + height / 2);
    CGContextAddLineToPoint(context, x + height / 2, y);
    CGContextAddLineToPoint(context, x + width, y);
    CGContextAddLineToPoint(context, x + width, y + height);
    CGContextAddLineToPoint(context, x + height / 2, y + height);
    CGContextClosePath(context);
    CGContextStrokePath(context);
    const double cx = x + height / 2 + (width - height / 2) / 2, cy = y + height / 2, arm = height / 5;
    CGContextMoveToPoint(context, cx - arm, cy - arm);
    CGContextAddLineToPoint(context, cx + arm, cy + arm);
    CGContextMoveToPoint(context, cx + arm, cy - arm);
    CGContextAddLineToPoint(context, cx - arm, cy + arm);
    CGContextStrokePath(context);
}

void drawLetterKeys(CGRect f) {
    static const std::vector<std::vector<std::string>> kRows = {
        {"Q", "W", "E", "R", "T", "Y", "U", "I", "O", "P"},
        {"A", "S", "D", "F", "G", "H", "J", "K", "L"},
        {"Z", "X", "C", "V", "B", "N", "M"},
        {"123", "space", "return"},
    };
    const double rowHeight = (f.size.height - 8) / kRows.size();
    const double keyWidth = f.size.width / 10;
    for (std::size_t row = 0; row < kRows.size(); ++row) {
        const std::size_t keys = kRows[row].size();
        const bool last = row == kRows.size() - 1;
        const double rowWidth = keyWidth * (last ? 6 : keys);
        const double width = rowWidth / keys;
        const double left = f.origin.x + (f.size.width - rowWidth) / 2;
        const UIFont font = last ? UIFont::systemFontOfSize(14) : UIFont::systemFontOfSize(18);
        for (std::size_t key = 0; key < keys; ++key)
            drawKeyCap(CGRectMake(left + key * width + 3, f.origin.y + 6 + row * rowHeight, width - 6, rowHeight - 8),
                       kRows[row][key], font);
    }
}

// The phone's pad: three columns of digits, 0 under 8, delete beside it.
void drawNumberPad(CGRect f) {
    static const char* const kKeys[4][3] = {{"1", "2", "3"}, {"4", "5", "6"}, {"7", "8", "9"}, {"", "0", nullptr}};
    const double rowHeight = (f.size.height - 4) / 4;
    const double width = f.size.width / 3;
    const UIFont font = UIFont::systemFontOfSize(24);
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 3; ++column) {
            const CGRect key = CGRectMake(f.origin.x + column * width + 3, f.origin.y + 4 + row * rowHeight + 2,
                                          width - 6, rowHeight - 4);
            const char* label = kKeys[row][column];
            if (!label) drawDeleteGlyph(key);
            else if (*label) drawKeyCap(key, label, font);
        }
    }
}

}  // namespace

void UIKeyboard::draw() const {
    if (!visible_) return;
    CGContextRef context = UIGraphicsGetCurrentContext();
    const CGRect f = frame();
    CGContextSaveGState(context);
    CGContextSetFillColorWithColor(context, UIColor::colorWithWhiteAlpha(0.82, 1).CGColor());
    CGContextFillRect(context, f);
    const auto field = UITextField::firstResponder();
    if (field && field->keyboardType() == UIKeyboardTypeNumberPad) drawNumberPad(f);
    else drawLetterKeys(f);
    CGContextRestoreGState(context);
}

}  // namespace platform
