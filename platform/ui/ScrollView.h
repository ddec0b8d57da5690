#pragma once
// The scroll view stand-in.

#include <string>

#include "platform/graphics/GeometryFunctions.h"
#include "platform/ui/View.h"

namespace platform {

inline constexpr double UIScrollViewDecelerationRateNormal = 0.998;
inline constexpr double UIScrollViewDecelerationRateFast = 0.99;

// A scroll view: a window onto content larger than itself. The content
// offset is the bounds' origin, so the subviews show shifted; the content
// inset adds room around the content (the keyboard's height at the foot, a
// bar at the top) that the offset may scroll into. There is no dragging or
// deceleration here: offsets change only through the calls below, animated
// ones at once too. Main thread only.
class UIScrollView : public UIView {
public:
    using UIView::UIView;
    bool bounces() const { return bounces_; }
    void setBounces(bool bounces) { bounces_ = bounces; }
    double decelerationRate() const { return decelerationRate_; }
    void setDecelerationRate(double rate) { decelerationRate_ = rate; }

    CGSize contentSize() const { return contentSize_; }
    void setContentSize(CGSize size) { contentSize_ = size; }
    CGPoint contentOffset() const { return bounds().origin; }
    void setContentOffset(CGPoint offset, bool animated = false);
    UIEdgeInsets contentInset() const { return contentInset_; }
    void setContentInset(UIEdgeInsets insets) { contentInset_ = insets; }
    UIEdgeInsets scrollIndicatorInsets() const { return scrollIndicatorInsets_; }
    void setScrollIndicatorInsets(UIEdgeInsets insets) { scrollIndicatorInsets_ = insets; }
    // Scrolls the least distance that brings the rectangle (content
    // coordinates) into the part of the bounds the insets leave, within the
    // content and its insets; the top wins when it does not fit.
    void scrollRectToVisible(CGRect rect, bool animated);
    bool isScrollEnabled() const { return scrollEnabled_; }
    void setScrollEnabled(bool enabled) { scrollEnabled_ = enabled; }
    bool alwaysBounceVertical() const { return alwaysBounceVertical_; }
    void setAlwaysBounceVertical(bool bounces) { alwaysBounceVertical_ = bounces; }
    bool showsVerticalScrollIndicator() const { return showsVerticalScrollIndicator_; }
    void setShowsVerticalScrollIndicator(bool shows) { showsVerticalScrollIndicator_ = shows; }

    bool isKindOfClass(const std::string& className) const override {
        return className == "UIScrollView" || UIView::isKindOfClass(className);
    }

private:
    bool bounces_ = true;
    double decelerationRate_ = UIScrollViewDecelerationRateNormal;
    CGSize contentSize_;
    UIEdgeInsets contentInset_;
    UIEdgeInsets scrollIndicatorInsets_;
    bool scrollEnabled_ = true;
    bool alwaysBounceVertical_ = false;
    bool showsVerticalScrollIndicator_ = true;
};

}  // namespace platform
