#include "platform/ui/Window.h"

#include "platform/foundation/Clock.h"
#include "platform/foundation/NeverDestroyed.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/Application.h"
#include "platform/ui/Keyboard.h"

namespace platform {

namespace {
// Main thread only, like the windows themselves.
std::vector<UIWindow*>& liveWindows() {
    // No reset: each window leaves the list as it goes.
    static NeverDestroyed<std::vector<UIWindow*>> windows;
    return *windows;
}

std::weak_ptr<UIWindow>& keyWindowSlot() {
    static NeverDestroyed<std::weak_ptr<UIWindow>> window{ResetStage::Interface,
                                                          [](std::weak_ptr<UIWindow>& w) { w.reset(); }};
    return *window;
}
}  // namespace

UIWindow::UIWindow(CGRect frame) : UIView(frame) {
    setHidden(true);
    liveWindows().push_back(this);
}

UIWindow::~UIWindow() { std::erase(liveWindows(), this); }

std::vector<std::shared_ptr<UIWindow>> UIWindow::windows() {
    std::vector<std::shared_ptr<UIWindow>> windows;
    for (UIWindow* window : liveWindows()) {
        // A window being made or torn down has no owner to share yet or still.
        if (auto shared = std::static_pointer_cast<UIWindow>(window->weak_from_this().lock()))
            windows.push_back(std::move(shared));
    }
    return windows;
}

void UIWindow::setRootViewController(std::shared_ptr<UIViewController> controller) {
    assertMainThread("UIWindow::setRootViewController");
    if (controller == rootViewController_) return;
    if (rootViewController_ && rootViewController_->isViewLoaded()) {
        auto old = rootViewController_->view();
        if (old->superview().get() == this) old->removeFromSuperview();
    }
    rootViewController_ = std::move(controller);
    if (!isHidden()) installRootView();
}

void UIWindow::installRootView() {
    if (!rootViewController_) return;
    auto view = rootViewController_->view();
    if (view->superview().get() == this) return;
    view->setFrame(bounds());
    addSubview(view);
    // The new root decides the status bar from now on.
    rootViewController_->setNeedsStatusBarAppearanceUpdate();
}

void UIWindow::makeKeyAndVisible() {
    assertMainThread("UIWindow::makeKeyAndVisible");
    setHidden(false);
    keyWindowSlot() = std::static_pointer_cast<UIWindow>(weak_from_this().lock());
    installRootView();
}

bool UIWindow::isKeyWindow() const { return keyWindowSlot().lock().get() == this; }

std::shared_ptr<UIWindow> UIWindow::keyWindow() { return keyWindowSlot().lock(); }

void UIWindow::drawOverSubviews(CGRect) {
    if (isKeyWindow()) UIKeyboard::shared().draw();
    const UIApplication& application = UIApplication::sharedApplication();
    if (!isKeyWindow() || application.isStatusBarHidden()) return;
    CGContextRef context = UIGraphicsGetCurrentContext();
    const CGRect b = bounds();
    const CGRect bar{b.origin, {b.size.width, UIStatusBarThickness}};
    const long style = application.statusBarStyle();
    CGContextSaveGState(context);
    if (style == UIStatusBarStyleBlackOpaque) {
        CGContextSetFillColorWithColor(context, UIColor::blackColor().CGColor());
        CGContextFillRect(context, bar);
    }
    const UIColor content = style == UIStatusBarStyleDefault ? UIColor::blackColor() : UIColor::whiteColor();
    CGContextSetFillColorWithColor(context, content.CGColor());
    CGContextSetStrokeColorWithColor(context, content.CGColor());
    const double x = bar.origin.x, y = bar.origin.y, right = x + bar.size.width;
    for (int dot = 0; dot < 5; ++dot) CGContextFillEllipseInRect(context, CGRectMake(x + 6 + dot * 7, y + 7, 5.5, 5.5));
    drawTextInRect("9:41", bar, UIFont::boldSystemFontOfSize(12), content, NSTextAlignmentCenter);
    CGContextSetLineWidth(context, 1);
    CGContextStrokeRect(context, CGRectMake(right - 31.5, y + 5.5, 23, 10));
    CGContextFillRect(context, CGRectMake(right - 29.5, y + 7.5, 19, 6));
    CGContextFillRect(context, CGRectMake(right - 8, y + 8.5, 2, 4));
    CGContextRestoreGState(context);
}

std::shared_ptr<UIView> UIWindow::tap(CGPoint windowPoint) {
    auto view = sendTouch(UITouchPhase::Began, windowPoint);
    sendTouch(UITouchPhase::Ended, windowPoint);
    return view;
}

std::shared_ptr<UIView> UIWindow::sendTouch(UITouchPhase phase, CGPoint windowPoint) {
    assertMainThread("UIWindow::sendTouch");
    const auto keepAlive = weak_from_this().lock();
    // What the finger lands on is what the screen shows after pending layout.
    layoutIfNeeded();
    if (phase == UITouchPhase::Began && activeTouch_) {
        const auto current = activeTouch_->locationInView(nullptr);
        deliver(UITouchPhase::Cancelled, current);
    }
    return deliver(phase, windowPoint);
}

std::shared_ptr<UIView> UIWindow::deliver(UITouchPhase phase, CGPoint windowPoint) {
    if (phase == UITouchPhase::Stationary) return activeTouch_ ? activeTouch_->view() : nullptr;
    const double now = clock().now();
    std::shared_ptr<UITouch> touch;
    std::shared_ptr<UIView> view;
    if (phase == UITouchPhase::Began) {
        view = hitTest(windowPoint, nullptr);
        if (!view) return nullptr;
        touch = std::make_shared<UITouch>();
        touch->attach(std::static_pointer_cast<UIWindow>(weak_from_this().lock()), view);
        activeTouch_ = touch;
    } else {
        touch = activeTouch_;
        if (!touch) return nullptr;
        view = touch->view();
        if (phase == UITouchPhase::Ended || phase == UITouchPhase::Cancelled) activeTouch_.reset();
        if (!view) {
            activeTouch_.reset();
            return nullptr;
        }
    }
    touch->update(phase, windowPoint, now);
    const UITouchSet touches{touch};
    const UIEvent event(touches, now);
    switch (phase) {
    case UITouchPhase::Began: view->touchesBegan(touches, event); break;
    case UITouchPhase::Moved: view->touchesMoved(touches, event); break;
    case UITouchPhase::Ended: view->touchesEnded(touches, event); break;
    case UITouchPhase::Cancelled: view->touchesCancelled(touches, event); break;
    case UITouchPhase::Stationary: break;
    }
    return view;
}

}  // namespace platform
