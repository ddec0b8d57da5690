#include "platform/ui/Button.h"

namespace platform {

UIButton::UIButton(CGRect frame, UIButtonType type) : UIControl(frame), type_(type) {
    // A system button's title is the tint colour; a custom one's is white.
    titleColors_[UIControlStateNormal] =
        type == UIButtonTypeSystem ? UIColor::systemBlueColor() : UIColor::whiteColor();
}

std::shared_ptr<UIButton> UIButton::buttonWithType(UIButtonType type) {
    return std::make_shared<UIButton>(CGRectZero, type);
}

template <class Map>
auto UIButton::lookup(const Map& map, unsigned state) -> const typename Map::mapped_type* {
    if (auto it = map.find(state); it != map.end()) return &it->second;
    if (auto it = map.find(UIControlStateNormal); it != map.end()) return &it->second;
    return nullptr;
}

void UIButton::setTitle(std::string title, unsigned state) {
    titles_[state] = std::move(title);
    setNeedsDisplay();
}

std::string UIButton::titleForState(unsigned state) const {
    const auto* title = lookup(titles_, state);
    return title ? *title : std::string();
}

void UIButton::setTitleColor(UIColor color, unsigned state) {
    titleColors_[state] = color;
    setNeedsDisplay();
}

UIColor UIButton::titleColorForState(unsigned state) const {
    const auto* color = lookup(titleColors_, state);
    return color ? *color : UIColor::whiteColor();
}

void UIButton::setImage(std::shared_ptr<UIImage> image, unsigned state) {
    if (image)
        images_[state] = std::move(image);
    else
        images_.erase(state);
    setNeedsDisplay();
}

std::shared_ptr<UIImage> UIButton::imageForState(unsigned state) const {
    const auto* image = lookup(images_, state);
    return image ? *image : nullptr;
}

void UIButton::setTitleFont(UIFont font) {
    titleFont_ = std::move(font);
    setNeedsDisplay();
}

void UIButton::drawRect(CGRect) {
    const CGRect b = bounds();
    const auto image = currentImage();
    const std::string title = currentTitle();
    const CGSize imageSize = image ? image->size() : CGSize{};
    const CGSize titleSize = title.empty() ? CGSize{} : sizeWithFont(title, titleFont_);
    double x = b.origin.x + (b.size.width - imageSize.width - titleSize.width) / 2;
    if (image) {
        image->drawInRect({{x, b.origin.y + (b.size.height - imageSize.height) / 2}, imageSize});
        x += imageSize.width;
    }
    if (!title.empty())
        drawTextInRect(title, {{x, b.origin.y}, {titleSize.width, b.size.height}}, titleFont_, currentTitleColor(),
                       NSTextAlignmentLeft);
}

}  // namespace platform
