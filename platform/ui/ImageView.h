#pragma once
// A view that shows an image scaled to fill its bounds, or to fit them
// centred when its content mode is UIViewContentModeScaleAspectFit. Like the phone's, it
// takes no touches unless told to (so views on it get none either).
// Main thread only.

#include <memory>

#include "platform/graphics/Image.h"
#include "platform/ui/View.h"

namespace platform {

class UIImageView : public UIView {
public:
    explicit UIImageView(CGRect frame = CGRectZero);
    // Sized to the image.
    explicit UIImageView(std::shared_ptr<UIImage> image);

    const std::shared_ptr<UIImage>& image() const { return image_; }
    void setImage(std::shared_ptr<UIImage> image);

    void drawRect(CGRect rect) override;
    bool isKindOfClass(const std::string& className) const override {
        return className == "UIImageView" || UIView::isKindOfClass(className);
    }

private:
    std::shared_ptr<UIImage> image_;
};

}  // namespace platform
