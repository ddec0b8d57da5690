#pragma once
// The responder chain's steps.

#include <memory>

#include "platform/ui/View.h"
#include "platform/ui/ViewController.h"

namespace platform {

// One step of the responder chain: a view or a view controller. From a
// view the chain goes to its controller when it is that controller's view,
// else to its superview; from a controller to its view's superview, else to
// its parent, else to its presenter. Lookups that must find "the controller
// around this view" (a screen's container) walk it; nothing else is routed
// along it yet. Holds its object strongly while it is held. Main thread only.
class UIResponder {
public:
    UIResponder() = default;
    UIResponder(std::shared_ptr<UIView> view) : view_(std::move(view)) {}
    UIResponder(std::shared_ptr<UIViewController> controller) : controller_(std::move(controller)) {}

    const std::shared_ptr<UIView>& view() const { return view_; }
    const std::shared_ptr<UIViewController>& viewController() const { return controller_; }
    explicit operator bool() const { return view_ || controller_; }
    // An empty responder when the chain ends here.
    UIResponder nextResponder() const;

private:
    std::shared_ptr<UIView> view_;
    std::shared_ptr<UIViewController> controller_;
};

}  // namespace platform
