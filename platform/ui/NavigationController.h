#pragma once
// A navigation controller: a stack of view controllers of which the top one
// shows, below an optional navigation bar. It is the parent of every
// controller on its stack (they reach it through navigationController()),
// shows the top one's view as its content, and passes its own appearance
// calls on to the top controller. A push or pop while it is on screen (between
// its viewWillAppear and viewDidDisappear) tells the controllers that go and
// come: the will-calls at the start, the did-calls at the end. Animated, the
// views slide sideways over 0.3 s of the run loop's clock (a push comes in
// from the right, a pop goes out to the right); the stack changes at once,
// and a new change first finishes a running slide. Main thread only.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/RunLoop.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/View.h"
#include "platform/ui/ViewController.h"

namespace platform {

class UINavigationController;

enum UIBarStyle : long { UIBarStyleDefault = 0, UIBarStyleBlack = 1 };

// The bar across the top of a navigation controller: a plain bar (light, or
// black for the black style) with a hairline at its foot, the top
// controller's navigation item (title centred; the left item, or else a back
// button titled after the previous controller's back item or title; the
// right item; a disabled item greyed). A tap on an item triggers it; the back
// button pops. The items are drawn on every rendering, so their changes show
// at once. Placed right under the status bar, the bar's colour runs up behind
// it, as on the phone, so that the status bar's dark content stays readable.
class UINavigationBar : public UIView {
public:
    using UIView::UIView;
    // The top controller's item title, else its title, else what setTitle set.
    std::string title() const;
    void setTitle(std::string title);
    long barStyle() const { return barStyle_; }
    void setBarStyle(long style);
    const std::optional<UIColor>& barTintColor() const { return barTintColor_; }
    void setBarTintColor(std::optional<UIColor> color);
    // The items' colour; default a blue (white on the black style).
    const std::optional<UIColor>& tintColor() const { return tintColor_; }
    void setTintColor(std::optional<UIColor> color) { tintColor_ = std::move(color); }

    // The items shown now with their rectangles in the bar's coordinates:
    // left (or back), right. The back button is an item of the bar's own.
    struct PlacedItem {
        std::shared_ptr<UIBarButtonItem> item;
        CGRect rect;
        bool isBackButton = false;
    };
    std::vector<PlacedItem> visibleItems() const;
    std::shared_ptr<UIBarButtonItem> itemAtPoint(CGPoint point) const;

    void drawRect(CGRect rect) override;
    void drawOverSubviews(CGRect rect) override;
    void touchesBegan(const UITouchSet& touches, const UIEvent& event) override;
    void touchesEnded(const UITouchSet& touches, const UIEvent& event) override;
    bool isKindOfClass(const std::string& className) const override {
        return className == "UINavigationBar" || UIView::isKindOfClass(className);
    }

private:
    friend class UINavigationController;
    void setController(std::weak_ptr<UINavigationController> controller) { controller_ = std::move(controller); }
    UIColor backgroundFill() const;

    std::string title_;
    long barStyle_ = UIBarStyleDefault;
    std::optional<UIColor> barTintColor_;
    std::optional<UIColor> tintColor_;
    std::weak_ptr<UINavigationController> controller_;
    // How far above its top the bar's colour runs (the status bar's thickness, or 0).
    double statusBarExtent_ = 0;
    mutable std::shared_ptr<UIBarButtonItem> backButton_;
    std::shared_ptr<UIBarButtonItem> touchedItem_;
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
    // The controllers popped, bottom first; empty when only the root is left.
    std::vector<std::shared_ptr<UIViewController>> popToRootViewControllerAnimated(bool animated);
    // Whether a slide is under way.
    bool isTransitioning() const { return slide_.has_value(); }
    std::shared_ptr<UIViewController> topViewController() const;
    const std::vector<std::shared_ptr<UIViewController>>& viewControllers() const { return stack_; }

    bool isNavigationBarHidden() const { return navigationBarHidden_; }
    void setNavigationBarHidden(bool hidden, bool animated);
    // The bar, made with the view.
    std::shared_ptr<UINavigationBar> navigationBar() const { return navigationBar_; }

    void loadView() override;
    void viewWillAppear(bool animated) override;
    void viewDidAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    void viewDidDisappear(bool animated) override;
    void viewWillLayoutSubviews() override;

    // The top controller's answers by default.
    unsigned long supportedInterfaceOrientations() override;
    bool shouldAutorotate() override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) override;

private:
    struct Slide {
        std::shared_ptr<UIViewController> from;
        std::shared_ptr<UIViewController> to;
        bool push;
        double start;
        double progress;
        RunLoop::TimerId timer;
    };
    void stepSlide();
    void finishSlide();
    void placeSlide(CGRect contentFrame);
    void adoptChildren();
    // Puts `to`'s view in place of `from`'s, with the appearance calls when on screen.
    void transition(const std::shared_ptr<UIViewController>& from, const std::shared_ptr<UIViewController>& to, bool push,
                    bool animated);
    void layoutContent();

    std::vector<std::shared_ptr<UIViewController>> stack_;
    std::shared_ptr<UINavigationBar> navigationBar_;
    bool navigationBarHidden_ = false;
    bool onScreen_ = false;
    std::optional<Slide> slide_;
};

}  // namespace platform
