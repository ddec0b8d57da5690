#pragma once
// The popover stand-in (tablets): shows a content view controller in a
// floating panel anchored at a rectangle of a view, with the arrow pointing
// to it. Drawn as a framed panel in the key window. The user closing it is
// simulated by userDismiss(), which tells the delegate as the platform does
// (a dismissal by code tells nobody). Main thread only.

#include <memory>

#include "platform/graphics/Geometry.h"
#include "platform/ui/View.h"
#include "platform/ui/ViewController.h"

namespace platform {

enum UIPopoverArrowDirection : unsigned long {
    UIPopoverArrowDirectionUp = 1,
    UIPopoverArrowDirectionDown = 2,
    UIPopoverArrowDirectionLeft = 4,
    UIPopoverArrowDirectionRight = 8,
    UIPopoverArrowDirectionAny = 15,
    UIPopoverArrowDirectionUnknown = ~0ul,
};

class UIPopoverController;

class UIPopoverControllerDelegate {
public:
    virtual ~UIPopoverControllerDelegate() = default;
    virtual void popoverControllerDidDismissPopover(UIPopoverController& popover) = 0;
};

class UIPopoverController : public std::enable_shared_from_this<UIPopoverController> {
public:
    explicit UIPopoverController(std::shared_ptr<UIViewController> content);
    ~UIPopoverController();
    UIPopoverController(const UIPopoverController&) = delete;
    UIPopoverController& operator=(const UIPopoverController&) = delete;

    std::shared_ptr<UIViewController> contentViewController() const { return content_; }
    // Not owned.
    UIPopoverControllerDelegate* delegate() const { return delegate_; }
    void setDelegate(UIPopoverControllerDelegate* delegate) { delegate_ = delegate; }

    // `rect` in `view`'s coordinates (the window's when view is null). Shown
    // again at the new place when already visible.
    void presentPopoverFromRect(CGRect rect, const std::shared_ptr<UIView>& view,
                                unsigned long permittedArrowDirections, bool animated);
    void dismissPopoverAnimated(bool animated);
    bool isPopoverVisible() const { return visible_; }
    // Where it was last presented: the anchor in window coordinates and the
    // permitted directions (Unknown before).
    CGRect anchorRect() const { return anchor_; }
    unsigned long popoverArrowDirection() const { return permittedArrowDirections_; }

    // The user tapping outside: hides it and tells the delegate.
    void userDismiss();

private:
    std::shared_ptr<UIViewController> content_;
    std::shared_ptr<UIView> panel_;
    UIPopoverControllerDelegate* delegate_ = nullptr;
    bool visible_ = false;
    CGRect anchor_{};
    unsigned long permittedArrowDirections_ = UIPopoverArrowDirectionUnknown;
};

}  // namespace platform
