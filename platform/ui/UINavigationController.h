#pragma once
// A navigation controller: a stack of view controllers of which the top one
// shows, below an optional navigation bar. It is the parent of every
// controller on its stack (they reach it through navigationController()),
// shows the top one's view as its content, and passes its own appearance
// calls on to the top controller. A push or pop while it is on screen (between
// its viewWillAppear and viewDidDisappear) tells the controllers that go and
// come; changes are applied at once, animated or not. Main thread only.

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/View.h"
#include "platform/ui/ViewController.h"

namespace platform {

// The bar across the top of a navigation controller: a plain light bar with
// a hairline at its foot and the top controller's title in its middle.
class UINavigationBar : public UIView {
public:
    using UIView::UIView;
    const std::string& title() const { return title_; }
    void setTitle(std::string title);
    void drawRect(CGRect rect) override;
    bool isKindOfClass(const std::string& className) const override {
        return className == "UINavigationBar" || UIView::isKindOfClass(className);
    }

private:
    std::string title_;
};

inline constexpr double UINavigationBarHeight = 44;

class UINavigationController : public UIViewController {
public:
    // The root becomes the stack's first controller; it learns its parent
    // once this controller is shared (initWithRootViewController, create, or
    // when the view loads).
    explicit UINavigationController(std::shared_ptr<UIViewController> root = nullptr);
    static std::shared_ptr<UINavigationController> create(std::shared_ptr<UIViewController> root);
    // Replaces the whole stack by the root. Call on a shared controller.
    void initWithRootViewController(std::shared_ptr<UIViewController> root);

    // A controller already on the stack is not pushed again (logged).
    void pushViewController(std::shared_ptr<UIViewController> controller, bool animated);
    // The popped controller; nullptr when only the root is left.
    std::shared_ptr<UIViewController> popViewControllerAnimated(bool animated);
    std::shared_ptr<UIViewController> topViewController() const;
    const std::vector<std::shared_ptr<UIViewController>>& viewControllers() const { return stack_; }

    bool isNavigationBarHidden() const { return navigationBarHidden_; }
    bool navigationBarHidden() const { return navigationBarHidden_; }
    void setNavigationBarHidden(bool hidden, bool animated);
    // The bar, made with the view.
    std::shared_ptr<UINavigationBar> navigationBar() const { return navigationBar_; }

    void loadView() override;
    void viewWillAppear(bool animated) override;
    void viewDidAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    void viewDidDisappear(bool animated) override;
    void viewWillLayoutSubviews() override;

private:
    void adoptChildren();
    // Puts `to`'s view in place of `from`'s, with the appearance calls when on screen.
    void transition(const std::shared_ptr<UIViewController>& from, const std::shared_ptr<UIViewController>& to,
                    bool animated);
    void layoutContent();

    std::vector<std::shared_ptr<UIViewController>> stack_;
    std::shared_ptr<UINavigationBar> navigationBar_;
    bool navigationBarHidden_ = false;
    bool onScreen_ = false;
};

}  // namespace platform
