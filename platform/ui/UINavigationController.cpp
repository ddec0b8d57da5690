#include "platform/ui/UINavigationController.h"

#include <algorithm>

#include "platform/foundation/Log.h"
#include "platform/foundation/RunLoop.h"
#include "platform/graphics/Context.h"
#include "platform/ui/Application.h"
#include "platform/ui/Screen.h"

namespace platform {

void UINavigationBar::setTitle(std::string title) {
    if (title == title_) return;
    title_ = std::move(title);
    setNeedsDisplay();
}

void UINavigationBar::drawRect(CGRect) {
    CGContextRef context = UIGraphicsGetCurrentContext();
    const CGRect b = bounds();
    CGContextSetFillColorWithColor(context, UIColor::colorWithWhiteAlpha(0.97, 1).CGColor());
    CGContextFillRect(context, b);
    CGContextSetFillColorWithColor(context, UIColor::colorWithWhiteAlpha(0.7, 1).CGColor());
    CGContextFillRect(context, CGRectMake(b.origin.x, b.origin.y + b.size.height - 0.5, b.size.width, 0.5));
    if (!title_.empty()) {
        drawTextInRect(title_, b, UIFont::boldSystemFontOfSize(17), UIColor::blackColor(), NSTextAlignmentCenter);
    }
}

UINavigationController::UINavigationController(std::shared_ptr<UIViewController> root) {
    if (root) stack_.push_back(std::move(root));
}

std::shared_ptr<UINavigationController> UINavigationController::create(std::shared_ptr<UIViewController> root) {
    auto controller = std::make_shared<UINavigationController>();
    controller->initWithRootViewController(std::move(root));
    return controller;
}

void UINavigationController::initWithRootViewController(std::shared_ptr<UIViewController> root) {
    assertMainThread("UINavigationController::initWithRootViewController");
    const auto old = topViewController();
    for (const auto& controller : stack_) setParentViewController(*controller, {});
    stack_.clear();
    if (root) stack_.push_back(std::move(root));
    adoptChildren();
    if (isViewLoaded() || onScreen_) transition(old, topViewController(), false);
}

void UINavigationController::adoptChildren() {
    const auto self = weak_from_this();
    if (self.expired()) return;
    for (const auto& controller : stack_) setParentViewController(*controller, self);
}

std::shared_ptr<UIViewController> UINavigationController::topViewController() const {
    return stack_.empty() ? nullptr : stack_.back();
}

void UINavigationController::pushViewController(std::shared_ptr<UIViewController> controller, bool animated) {
    assertMainThread("UINavigationController::pushViewController");
    if (!controller || controller.get() == this) return;
    if (std::find(stack_.begin(), stack_.end(), controller) != stack_.end()) {
        log("UINavigationController: that view controller is already on the stack; push ignored");
        return;
    }
    const auto old = topViewController();
    stack_.push_back(controller);
    adoptChildren();
    if (isViewLoaded() || onScreen_) transition(old, controller, animated);
}

std::shared_ptr<UIViewController> UINavigationController::popViewControllerAnimated(bool animated) {
    assertMainThread("UINavigationController::popViewControllerAnimated");
    if (stack_.size() < 2) return nullptr;
    auto popped = stack_.back();
    stack_.pop_back();
    if (isViewLoaded() || onScreen_) transition(popped, topViewController(), animated);
    setParentViewController(*popped, {});
    return popped;
}

void UINavigationController::transition(const std::shared_ptr<UIViewController>& from,
                                        const std::shared_ptr<UIViewController>& to, bool animated) {
    if (from == to) return;
    const auto content = view();
    // Loaded before any appearance call, as the phone does.
    const auto toView = to ? to->view() : nullptr;
    if (onScreen_ && from) from->viewWillDisappear(animated);
    if (onScreen_ && to) to->viewWillAppear(animated);
    if (from && from->isViewLoaded() && from->view()->superview() == content) from->view()->removeFromSuperview();
    if (toView) content->insertSubviewAtIndex(toView, 0);
    layoutContent();
    if (onScreen_ && from) from->viewDidDisappear(animated);
    if (onScreen_ && to) to->viewDidAppear(animated);
}

void UINavigationController::setNavigationBarHidden(bool hidden, bool) {
    assertMainThread("UINavigationController::setNavigationBarHidden");
    if (hidden == navigationBarHidden_) return;
    navigationBarHidden_ = hidden;
    if (isViewLoaded()) layoutContent();
}

void UINavigationController::loadView() {
    UIViewController::loadView();
    const auto content = view();
    navigationBar_ = std::make_shared<UINavigationBar>();
    navigationBar_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
    content->addSubview(navigationBar_);
    adoptChildren();
    if (const auto top = topViewController()) content->insertSubviewAtIndex(top->view(), 0);
    layoutContent();
}

void UINavigationController::layoutContent() {
    if (!isViewLoaded() || !navigationBar_) return;
    const CGRect b = view()->bounds();
    const double barTop = UIApplication::sharedApplication().isStatusBarHidden() ? 0 : UIStatusBarThickness;
    navigationBar_->setHidden(navigationBarHidden_);
    navigationBar_->setFrame(CGRectMake(b.origin.x, b.origin.y + barTop, b.size.width, UINavigationBarHeight));
    const auto top = topViewController();
    navigationBar_->setTitle(top ? top->title() : std::string());
    if (!top) return;
    const double contentTop = navigationBarHidden_ ? 0 : barTop + UINavigationBarHeight;
    top->view()->setFrame(
        CGRectMake(b.origin.x, b.origin.y + contentTop, b.size.width, std::max(0.0, b.size.height - contentTop)));
}

void UINavigationController::viewWillLayoutSubviews() { layoutContent(); }

void UINavigationController::viewWillAppear(bool animated) {
    UIViewController::viewWillAppear(animated);
    onScreen_ = true;
    if (const auto top = topViewController()) top->viewWillAppear(animated);
}

void UINavigationController::viewDidAppear(bool animated) {
    UIViewController::viewDidAppear(animated);
    if (const auto top = topViewController()) top->viewDidAppear(animated);
}

void UINavigationController::viewWillDisappear(bool animated) {
    if (const auto top = topViewController()) top->viewWillDisappear(animated);
    UIViewController::viewWillDisappear(animated);
}

void UINavigationController::viewDidDisappear(bool animated) {
    if (const auto top = topViewController()) top->viewDidDisappear(animated);
    onScreen_ = false;
    UIViewController::viewDidDisappear(animated);
}

}  // namespace platform
