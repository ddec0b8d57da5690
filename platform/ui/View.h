#pragma once
// Views, as far as the containers need them: a frame, bounds, autoresizing,
// and a tree of subviews. Main thread only. Views are shared objects: a
// parent holds its subviews, a subview knows its parent weakly.

#include <memory>
#include <string>
#include <vector>

#include "platform/graphics/Geometry.h"

namespace platform {

enum UIViewAutoresizing : unsigned {
    UIViewAutoresizingNone = 0,
    UIViewAutoresizingFlexibleLeftMargin = 1 << 0,
    UIViewAutoresizingFlexibleWidth = 1 << 1,
    UIViewAutoresizingFlexibleRightMargin = 1 << 2,
    UIViewAutoresizingFlexibleTopMargin = 1 << 3,
    UIViewAutoresizingFlexibleHeight = 1 << 4,
    UIViewAutoresizingFlexibleBottomMargin = 1 << 5,
};

class UIView : public std::enable_shared_from_this<UIView> {
public:
    explicit UIView(CGRect frame = CGRectZero);
    virtual ~UIView() = default;

    CGRect frame() const { return frame_; }
    // Changing the frame lays out the subviews by their autoresizing masks.
    void setFrame(CGRect frame);
    CGRect bounds() const { return {{0, 0}, frame_.size}; }
    unsigned autoresizingMask() const { return autoresizingMask_; }
    void setAutoresizingMask(unsigned mask) { autoresizingMask_ = mask; }
    bool isHidden() const { return hidden_; }
    void setHidden(bool hidden) { hidden_ = hidden; }

    const std::vector<std::shared_ptr<UIView>>& subviews() const { return subviews_; }
    std::shared_ptr<UIView> superview() const { return superview_.lock(); }
    void addSubview(const std::shared_ptr<UIView>& view);
    void sendSubviewToBack(const std::shared_ptr<UIView>& view);
    void bringSubviewToFront(const std::shared_ptr<UIView>& view);
    void removeFromSuperview();

    // The class name, for "is kind of class" questions across the tree.
    virtual bool isKindOfClass(const std::string& className) const { return className == "UIView"; }

private:
    CGRect frame_;
    unsigned autoresizingMask_ = UIViewAutoresizingNone;
    bool hidden_ = false;
    std::vector<std::shared_ptr<UIView>> subviews_;
    std::weak_ptr<UIView> superview_;
};

inline constexpr double UIScrollViewDecelerationRateNormal = 0.998;
inline constexpr double UIScrollViewDecelerationRateFast = 0.99;

class UIScrollView : public UIView {
public:
    using UIView::UIView;
    bool bounces() const { return bounces_; }
    void setBounces(bool bounces) { bounces_ = bounces; }
    double decelerationRate() const { return decelerationRate_; }
    void setDecelerationRate(double rate) { decelerationRate_ = rate; }
    bool isKindOfClass(const std::string& className) const override {
        return className == "UIScrollView" || UIView::isKindOfClass(className);
    }

private:
    bool bounces_ = true;
    double decelerationRate_ = UIScrollViewDecelerationRateNormal;
};

}  // namespace platform
