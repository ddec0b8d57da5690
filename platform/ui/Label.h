#pragma once
// A view that shows one line of text in a font and colour, aligned left,
// centred or right and centred vertically. Takes no touches by default.
// Main thread only.

#include <string>

#include "platform/graphics/Font.h"
#include "platform/ui/View.h"

namespace platform {

class UILabel : public UIView {
public:
    explicit UILabel(CGRect frame = CGRectZero);

    const std::string& text() const { return text_; }
    void setText(std::string text);
    const UIColor& textColor() const { return textColor_; }
    void setTextColor(UIColor color);
    const UIFont& font() const { return font_; }
    void setFont(UIFont font);
    NSTextAlignment textAlignment() const { return textAlignment_; }
    void setTextAlignment(NSTextAlignment alignment);

    void drawRect(CGRect rect) override;
    bool isKindOfClass(const std::string& className) const override {
        return className == "UILabel" || UIView::isKindOfClass(className);
    }

private:
    std::string text_;
    UIColor textColor_ = UIColor::blackColor();
    UIFont font_ = UIFont::systemFontOfSize(17);
    NSTextAlignment textAlignment_ = NSTextAlignmentLeft;
};

}  // namespace platform
