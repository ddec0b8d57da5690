#include "platform/ui/ImageView.h"

#include <algorithm>

namespace platform {

UIImageView::UIImageView(CGRect frame) : UIView(frame) { setUserInteractionEnabled(false); }

UIImageView::UIImageView(std::shared_ptr<UIImage> image)
    : UIImageView(image ? CGRect{{0, 0}, image->size()} : CGRectZero) {
    image_ = std::move(image);
}

void UIImageView::setImage(std::shared_ptr<UIImage> image) {
    if (image == image_) return;
    image_ = std::move(image);
    setNeedsDisplay();
}

void UIImageView::drawRect(CGRect) {
    if (!image_) return;
    const CGRect box = bounds();
    const CGSize size = image_->size();
    if (contentMode() != UIViewContentModeScaleAspectFit || size.width <= 0 || size.height <= 0) {
        image_->drawInRect(box);
        return;
    }
    const double factor = std::min(box.size.width / size.width, box.size.height / size.height);
    const CGSize fitted{size.width * factor, size.height * factor};
    image_->drawInRect({{box.origin.x + (box.size.width - fitted.width) / 2,
                         box.origin.y + (box.size.height - fitted.height) / 2},
                        fitted});
}

}  // namespace platform
