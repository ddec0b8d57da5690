#include "platform/ui/ImageView.h"

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
    if (image_) image_->drawInRect(bounds());
}

}  // namespace platform
