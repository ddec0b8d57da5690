#include "platform/ui/Control.h"

namespace platform {

void UIControl::addTarget(Action action, unsigned controlEvents) {
    if (!action || controlEvents == 0) return;
    targets_.push_back({std::move(action), controlEvents});
}

void UIControl::sendActionsForControlEvents(unsigned controlEvents) {
    // An action may take the control out of its tree (the last owner) or add
    // targets; both the control and the list it walks must stay put meanwhile.
    const auto keepAlive = weak_from_this().lock();
    const auto targets = targets_;
    for (const auto& target : targets)
        if (target.events & controlEvents) target.action(*this);
}

void UIControl::setEnabled(bool enabled) {
    if (enabled_ == enabled) return;
    enabled_ = enabled;
    setNeedsDisplay();
}

void UIControl::setSelected(bool selected) {
    if (selected_ == selected) return;
    selected_ = selected;
    setNeedsDisplay();
}

void UIControl::setHighlighted(bool highlighted) {
    if (highlighted_ == highlighted) return;
    highlighted_ = highlighted;
    setNeedsDisplay();
}

unsigned UIControl::state() const {
    unsigned s = UIControlStateNormal;
    if (highlighted_) s |= UIControlStateHighlighted;
    if (!enabled_) s |= UIControlStateDisabled;
    if (selected_) s |= UIControlStateSelected;
    return s;
}

std::shared_ptr<UIView> UIControl::hitTest(CGPoint point, const UIEvent* event) {
    // A disabled control is not there for the finger, nor is what it holds.
    if (!enabled_) return nullptr;
    return UIView::hitTest(point, event);
}

bool UIControl::touchInside(const UITouchSet& touches) const {
    auto touch = anyObject(touches);
    return touch && pointInside(touch->locationInView(this), nullptr);
}

void UIControl::touchesBegan(const UITouchSet& touches, const UIEvent&) {
    tracking_ = true;
    setHighlighted(true);
    sendActionsForControlEvents(UIControlEventTouchDown);
}

void UIControl::touchesMoved(const UITouchSet& touches, const UIEvent&) {
    if (!tracking_) return;
    const bool inside = touchInside(touches);
    setHighlighted(inside);
    sendActionsForControlEvents(inside ? UIControlEventTouchDragInside : UIControlEventTouchDragOutside);
}

void UIControl::touchesEnded(const UITouchSet& touches, const UIEvent&) {
    if (!tracking_) return;
    tracking_ = false;
    setHighlighted(false);
    sendActionsForControlEvents(touchInside(touches) ? UIControlEventTouchUpInside : UIControlEventTouchUpOutside);
}

void UIControl::touchesCancelled(const UITouchSet&, const UIEvent&) {
    if (!tracking_) return;
    tracking_ = false;
    setHighlighted(false);
    sendActionsForControlEvents(UIControlEventTouchCancel);
}

}  // namespace platform
