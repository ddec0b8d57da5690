#pragma once
// The activity indicator: a spinner of twelve spokes whose brightest spoke
// goes round while it animates, in one of three styles: white large (37
// points), white and gray (20 points). It turns on the main run loop's timers
// (twelve steps a second of the clock) only while animating; stopped, it is
// hidden unless told otherwise. Main thread only.

#include "platform/foundation/RunLoop.h"
#include "platform/ui/View.h"

namespace platform {

enum UIActivityIndicatorViewStyle : long {
    UIActivityIndicatorViewStyleWhiteLarge = 0,
    UIActivityIndicatorViewStyleWhite = 1,
    UIActivityIndicatorViewStyleGray = 2,
};

class UIActivityIndicatorView : public UIView {
public:
    // Sized to the style, at the origin; not animating.
    explicit UIActivityIndicatorView(UIActivityIndicatorViewStyle style);
    ~UIActivityIndicatorView() override;

    UIActivityIndicatorViewStyle activityIndicatorViewStyle() const { return style_; }
    // Keeps the centre, takes the style's size.
    void setActivityIndicatorViewStyle(UIActivityIndicatorViewStyle style);
    // The spokes' colour: white for the white styles, gray for gray.
    UIColor color() const;

    void startAnimating();
    void stopAnimating();
    bool isAnimating() const { return timer_ != 0; }
    bool hidesWhenStopped() const { return hidesWhenStopped_; }
    void setHidesWhenStopped(bool hides);
    // The spoke drawn brightest, 0 (twelve o'clock) to 11 clockwise.
    int leadingSpoke() const { return leadingSpoke_; }

    void drawRect(CGRect rect) override;
    bool isKindOfClass(const std::string& className) const override {
        return className == "UIActivityIndicatorView" || UIView::isKindOfClass(className);
    }

private:
    void scheduleTurn();

    UIActivityIndicatorViewStyle style_;
    bool hidesWhenStopped_ = true;
    int leadingSpoke_ = 0;
    RunLoop::TimerId timer_ = 0;
};

}  // namespace platform
