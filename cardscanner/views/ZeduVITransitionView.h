#pragma once
// What the scan view shows over itself at the end of a scan: the screen
// darkened, and the card just read, where the guide held it and turned as
// it was held. The camera screen reads the card view's image, centre,
// bounds, transform and superview to fly the card on into the form.
// Main thread only.

#include <memory>

#include "platform/graphics/Image.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/View.h"

namespace cardscanner {

class ZeduVITransitionView : public platform::UIView {
public:
    explicit ZeduVITransitionView(platform::CGRect frame);

    const std::shared_ptr<platform::UIImageView>& cardView() const { return cardView_; }

    // Puts `image` (a card image, long side across) over `guideFrame`, in
    // this view's coordinates, turned for the device orientation the guide
    // was drawn for (1..4; anything else is upright).
    void showCard(std::shared_ptr<platform::UIImage> image, platform::CGRect guideFrame, long deviceOrientation);
    // Lets go of the card image: its pixels hold the card number, so it lives
    // no longer than the scan that took it.
    void releaseCard();

private:
    std::shared_ptr<platform::UIImageView> cardView_;
};

}  // namespace cardscanner
