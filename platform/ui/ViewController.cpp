#include "platform/ui/ViewController.h"

#include <utility>
#include <vector>

#include "platform/foundation/Log.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/Application.h"
#include "platform/ui/Screen.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Window.h"

namespace platform {

std::shared_ptr<UINavigationItem> UIViewController::navigationItem() {
    if (!navigationItem_) navigationItem_ = std::make_shared<UINavigationItem>();
    return navigationItem_;
}

std::shared_ptr<UIView> UIViewController::view() {
    assertMainThread("UIViewController::view");
    if (!view_) {
        loadView();
        if (!view_) {
            // The phone would ask loadView again on every access; one plain
            // view is kinder to the caller and the line says what went wrong.
            log("UIViewController: loadView made no view; using a plain one");
            UIViewController::loadView();
        }
        view_->setViewController(weak_from_this());
        viewDidLoad();
    }
    return view_;
}

void UIViewController::setView(std::shared_ptr<UIView> view) {
    if (view_ && view_->viewController().get() == this) view_->setViewController({});
    view_ = std::move(view);
    if (view_) view_->setViewController(weak_from_this());
}

std::shared_ptr<UINavigationController> UIViewController::navigationController() {
    // A controller that no shared pointer owns can still sit in a container.
    std::shared_ptr<UIViewController> start = weak_from_this().lock();
    if (!start) start = parentViewController();
    for (std::shared_ptr<UIViewController> c = std::move(start); c; c = c->parentViewController()) {
        if (auto navigation = std::dynamic_pointer_cast<UINavigationController>(c)) return navigation;
    }
    return nullptr;
}


namespace {

// Lets the controller lay its subviews out whenever its view is laid out.
class ControllerRootView : public UIView {
public:
    using UIView::UIView;
    void layoutSubviews() override {
        const auto controller = viewController();
        if (!controller) return;
        controller->viewWillLayoutSubviews();
        controller->viewDidLayoutSubviews();
    }
};

}  // namespace

void UIViewController::loadView() {
    auto view = std::make_shared<ControllerRootView>(UIScreen::mainScreen().bounds());
    view->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    view_ = std::move(view);
}

UIInterfaceOrientation UIViewController::interfaceOrientation() const {
    return UIApplication::sharedApplication().statusBarOrientation();
}

void UIViewController::setNeedsStatusBarAppearanceUpdate() {
    assertMainThread("UIViewController::setNeedsStatusBarAppearanceUpdate");
    UIApplication& application = UIApplication::sharedApplication();
    if (!application.viewControllerBasedStatusBarAppearance() || dismissing_) return;
    if (const auto window = UIWindow::keyWindow()) {
        auto top = window->rootViewController();
        while (top && top->presented_) top = top->presented_;
        if (top && top.get() != this) return;
    }
    if (presentingViewController() && !statusBarBeforePresented_)
        statusBarBeforePresented_ = std::make_pair(application.statusBarStyle(), application.isStatusBarHidden());
    application.setStatusBarStyle(preferredStatusBarStyle());
    application.setStatusBarHidden(prefersStatusBarHidden());
}

void UIViewController::presentViewController(std::shared_ptr<UIViewController> controller, bool animated,
                                             std::function<void()> completion) {
    assertMainThread("UIViewController::presentViewController");
    if (!controller || controller.get() == this) return;
    if (presented_) {
        log("UIViewController: already presenting a view controller; presentation ignored");
        return;
    }
    if (controller->presentingViewController()) {
        log("UIViewController: that view controller is already presented; presentation ignored");
        return;
    }
    presented_ = controller;
    controller->presenting_ = weak_from_this();
    std::shared_ptr<UIView> view = controller->view();
    controller->viewWillAppear(animated);
    if (const auto window = UIWindow::keyWindow()) {
        view->setFrame(window->bounds());
        window->addSubview(view);
    }
    controller->viewDidAppear(animated);
    if (completion) completion();
}

void UIViewController::dismissViewControllerAnimated(bool animated, std::function<void()> completion) {
    assertMainThread("UIViewController::dismissViewControllerAnimated");
    if (!presented_) {
        if (const auto presenter = presentingViewController()) {
            presenter->dismissViewControllerAnimated(animated, std::move(completion));
        } else if (completion) {
            completion();
        }
        return;
    }
    // Whatever the presented one presents goes with it, top first.
    std::vector<std::shared_ptr<UIViewController>> chain;
    for (auto c = presented_; c; c = c->presented_) chain.push_back(c);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        const auto& c = *it;
        c->dismissing_ = true;
        c->viewWillDisappear(animated);
        if (c->isViewLoaded()) c->view()->removeFromSuperview();
        c->viewDidDisappear(animated);
        c->dismissing_ = false;
        if (const auto before = std::exchange(c->statusBarBeforePresented_, std::nullopt)) {
            UIApplication& application = UIApplication::sharedApplication();
            application.setStatusBarStyle(before->first);
            application.setStatusBarHidden(before->second);
        }
        c->presenting_.reset();
        c->presented_.reset();
    }
    presented_.reset();
    if (completion) completion();
}

void UIViewController::unloadView() {
    assertMainThread("UIViewController::unloadView");
    if (!view_) return;
    // Taken out of the tree too: a view left in its parent would sit beside
    // the fresh one that the next view() call loads.
    std::shared_ptr<UIView> dropped = std::move(view_);
    view_.reset();
    dropped->removeFromSuperview();
    dropped.reset();
    viewDidUnload();
}

}  // namespace platform
