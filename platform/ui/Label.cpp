#include "platform/ui/Label.h"

namespace platform {

UILabel::UILabel(CGRect frame) : UIView(frame) { setUserInteractionEnabled(false); }

void UILabel::setText(std::string text) {
    text_ = std::move(text);
    setNeedsDisplay();
}

void UILabel::setTextColor(UIColor color) {
    textColor_ = color;
    setNeedsDisplay();
}

void UILabel::setFont(UIFont font) {
    font_ = std::move(font);
    setNeedsDisplay();
}

void UILabel::setTextAlignment(NSTextAlignment alignment) {
    textAlignment_ = alignment;
    setNeedsDisplay();
}

void UILabel::drawRect(CGRect) { drawTextInRect(text_, bounds(), font_, textColor_, textAlignment_); }

}  // namespace platform
