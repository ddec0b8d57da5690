#pragma once
// Touches and the events that carry them. A touch belongs to the window that
// made it (UIWindow::sendTouch) and to the view it hit when it began; it
// keeps its place in window coordinates and answers it in any view's.
// Main thread only.

#include <memory>
#include <set>

#include "platform/graphics/Geometry.h"

namespace platform {

class UIView;
class UIWindow;

enum class UITouchPhase { Began, Moved, Stationary, Ended, Cancelled };

class UITouch {
public:
    UITouchPhase phase() const { return phase_; }
    // The view the touch began in; it keeps getting the touch's moves and end.
    std::shared_ptr<UIView> view() const { return view_.lock(); }
    std::shared_ptr<UIWindow> window() const { return window_.lock(); }
    double timestamp() const { return timestamp_; }
    // In `view`'s coordinates; nullptr: the window's.
    CGPoint locationInView(const UIView* view) const;
    CGPoint previousLocationInView(const UIView* view) const;

    // Moves the touch on; the window that owns it does this.
    void update(UITouchPhase phase, CGPoint windowLocation, double timestamp);
    void attach(std::weak_ptr<UIWindow> window, std::weak_ptr<UIView> view);

private:
    CGPoint convert(CGPoint windowPoint, const UIView* view) const;

    UITouchPhase phase_ = UITouchPhase::Began;
    std::weak_ptr<UIView> view_;
    std::weak_ptr<UIWindow> window_;
    CGPoint location_;
    CGPoint previous_;
    double timestamp_ = 0;
};

using UITouchSet = std::set<std::shared_ptr<UITouch>>;

// Any one touch of the set (the set's first); nullptr for an empty set.
inline std::shared_ptr<UITouch> anyObject(const UITouchSet& touches) {
    return touches.empty() ? nullptr : *touches.begin();
}

class UIEvent {
public:
    UIEvent(UITouchSet touches, double timestamp) : touches_(std::move(touches)), timestamp_(timestamp) {}
    const UITouchSet& allTouches() const { return touches_; }
    double timestamp() const { return timestamp_; }

private:
    UITouchSet touches_;
    double timestamp_;
};

}  // namespace platform
