#include "platform/ui/View.h"

#include <algorithm>

namespace platform {

namespace {

// One axis of autoresizing: how a child's origin and length follow a change
// of its parent's length, spreading the change over the flexible parts in
// proportion to their current sizes.
void resizeAxis(double& origin, double& length, double oldParent, double newParent, bool flexibleLead,
                bool flexibleLength, bool flexibleTrail) {
    const double delta = newParent - oldParent;
    if (delta == 0 || !(flexibleLead || flexibleLength || flexibleTrail)) return;
    const double lead = origin;
    const double trail = oldParent - origin - length;
    double total = (flexibleLead ? lead : 0) + (flexibleLength ? length : 0) + (flexibleTrail ? trail : 0);
    const int flexibleCount = int(flexibleLead) + int(flexibleLength) + int(flexibleTrail);
    auto share = [&](bool flexible, double size) {
        if (!flexible) return 0.0;
        return total > 0 ? delta * size / total : delta / flexibleCount;
    };
    origin += share(flexibleLead, lead);
    length += share(flexibleLength, length);
}

}  // namespace

UIView::UIView(CGRect frame) : frame_(frame) {}

void UIView::setFrame(CGRect frame) {
    const CGSize old = frame_.size;
    frame_ = frame;
    for (const auto& child : subviews_) {
        const unsigned mask = child->autoresizingMask();
        CGRect f = child->frame();
        resizeAxis(f.origin.x, f.size.width, old.width, frame.size.width, mask & UIViewAutoresizingFlexibleLeftMargin,
                   mask & UIViewAutoresizingFlexibleWidth, mask & UIViewAutoresizingFlexibleRightMargin);
        resizeAxis(f.origin.y, f.size.height, old.height, frame.size.height, mask & UIViewAutoresizingFlexibleTopMargin,
                   mask & UIViewAutoresizingFlexibleHeight, mask & UIViewAutoresizingFlexibleBottomMargin);
        if (!(f == child->frame())) child->setFrame(f);
    }
}

void UIView::addSubview(const std::shared_ptr<UIView>& view) {
    if (!view) return;
    // A view inside its own subtree would own itself (never freed) and make
    // every layout pass recurse without end.
    for (const UIView* ancestor = this; ancestor; ancestor = ancestor->superview_.lock().get())
        if (ancestor == view.get()) return;
    const std::shared_ptr<UIView> child = view;  // `view` may live in the list it leaves
    child->removeFromSuperview();
    subviews_.push_back(child);
    child->superview_ = weak_from_this();
}

void UIView::sendSubviewToBack(const std::shared_ptr<UIView>& view) {
    auto it = std::find(subviews_.begin(), subviews_.end(), view);
    if (it == subviews_.end()) return;
    std::rotate(subviews_.begin(), it, it + 1);
}

void UIView::bringSubviewToFront(const std::shared_ptr<UIView>& view) {
    auto it = std::find(subviews_.begin(), subviews_.end(), view);
    if (it == subviews_.end()) return;
    std::rotate(it, it + 1, subviews_.end());
}

void UIView::removeFromSuperview() {
    auto parent = superview_.lock();
    superview_.reset();
    if (!parent) return;
    // The parent may hold the last reference; this view must outlive its own removal.
    const auto keepAlive = weak_from_this().lock();
    auto& siblings = parent->subviews_;
    siblings.erase(std::remove_if(siblings.begin(), siblings.end(), [this](const auto& v) { return v.get() == this; }),
                   siblings.end());
}

}  // namespace platform
