#include "cardscanner/views/ZeduVITransitionView.h"

#include "cardscanner/util/ZeduVIUtilities.h"

#include "platform/foundation/RunLoop.h"
#include "platform/graphics/AffineTransform.h"

namespace cardscanner {

using platform::CGRect;

ZeduVITransitionView::ZeduVITransitionView(CGRect frame)
    : UIView(frame), cardView_(std::make_shared<platform::UIImageView>(CGRect{})) {
    setBackgroundColor(platform::UIColor::colorWithWhiteAlpha(0, 0.6));
    setAutoresizingMask(platform::UIViewAutoresizingFlexibleWidth | platform::UIViewAutoresizingFlexibleHeight);
    setUserInteractionEnabled(false);
    cardView_->setBackgroundColor(platform::UIColor::blackColor());
    cardView_->layer().setMasksToBounds(true);
}

void ZeduVITransitionView::showCard(std::shared_ptr<platform::UIImage> image, CGRect guideFrame,
                                    long deviceOrientation) {
    platform::assertMainThread("ZeduVITransitionView::showCard");
    if (!cardView_->superview()) addSubview(cardView_);
    cardView_->setImage(std::move(image));
    // The guide is tall when the device is held sideways: the card image
    // (always landscape) is laid out landscape and turned into it.
    const bool sideways = deviceOrientation == 3 || deviceOrientation == 4;
    const double width = sideways ? guideFrame.size.height : guideFrame.size.width;
    const double height = sideways ? guideFrame.size.width : guideFrame.size.height;
    cardView_->setTransform(platform::CGAffineTransformIdentity);
    cardView_->setBounds(CGRect{{0, 0}, {width, height}});
    cardView_->setCenter({guideFrame.origin.x + guideFrame.size.width / 2,
                          guideFrame.origin.y + guideFrame.size.height / 2});
    cardView_->layer().setCornerRadius(width / 300 * 9);
    cardView_->setTransform(platform::CGAffineTransformMakeRotation(ZeduVIUtilities::rotationForDeviceOrientation(deviceOrientation)));
}

void ZeduVITransitionView::releaseCard() {
    platform::assertMainThread("ZeduVITransitionView::releaseCard");
    cardView_->setImage(nullptr);
}

}  // namespace cardscanner
