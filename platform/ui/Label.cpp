#include "platform/ui/Label.h"

#include <string>
#include <vector>

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

// Line breaks in the text start new lines; the block of lines is centred
// vertically as one line would be. Nothing wraps on its own.
void UILabel::drawRect(CGRect) {
    std::vector<std::string> lines;
    for (std::size_t start = 0;;) {
        const std::size_t end = text_.find('\n', start);
        lines.push_back(text_.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    const CGRect b = bounds();
    const double lineHeight = font_.pointSize() * 1.25;
    double top = b.origin.y + (b.size.height - lineHeight * static_cast<double>(lines.size())) / 2;
    for (const std::string& line : lines) {
        drawTextInRect(line, CGRect{{b.origin.x, top}, {b.size.width, lineHeight}}, font_, textColor_, textAlignment_);
        top += lineHeight;
    }
}

}  // namespace platform
