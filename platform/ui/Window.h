#pragma once
// The window: the root of the view tree the user sees. It shows its root
// view controller's view, sized to the window, and it is where touches come
// in: sendTouch() is the touch screen, for the simulator and tests.
//
// One touch at a time: a touch that begins finds its view by hit-testing;
// its moves, end or cancellation go to that same view wherever the finger
// is. A new touch beginning while one is down cancels the old one first.
// A window starts hidden, as on the phone: it draws and takes touches once
// makeKeyAndVisible() has shown it. The key window draws the status bar
// over its top edge while the application shows it: a clock and a battery in
// the style's content colour on whatever lies behind (an opaque black bar for
// the black-opaque style); it takes no touches.
// Main thread only.

#include <memory>
#include <vector>

#include "platform/ui/Screen.h"
#include "platform/ui/View.h"
#include "platform/ui/ViewController.h"

namespace platform {

class UIWindow : public UIView {
public:
    explicit UIWindow(CGRect frame = UIScreen::mainScreen().bounds());
    ~UIWindow() override;

    std::shared_ptr<UIViewController> rootViewController() const { return rootViewController_; }
    // Replaces the old root's view with the new one's at once when the
    // window is already visible; otherwise makeKeyAndVisible installs it.
    void setRootViewController(std::shared_ptr<UIViewController> controller);
    // Shows the window and makes it the key window; the root view controller's
    // view is loaded and added, sized to the window.
    void makeKeyAndVisible();
    bool isKeyWindow() const;
    // The window made key last, while it lives.
    static std::shared_ptr<UIWindow> keyWindow();
    // The application's windows that live, oldest first.
    static std::vector<std::shared_ptr<UIWindow>> windows();

    // One touch event at a point in window coordinates. Answers the view the
    // touch went to (nullptr when it began over nothing that takes touches,
    // or when no touch is down for a move, end or cancel).
    std::shared_ptr<UIView> sendTouch(UITouchPhase phase, CGPoint windowPoint);
    // Began then ended at one point.
    std::shared_ptr<UIView> tap(CGPoint windowPoint);

    bool isKindOfClass(const std::string& className) const override {
        return className == "UIWindow" || UIView::isKindOfClass(className);
    }
    void drawOverSubviews(CGRect rect) override;

private:
    void installRootView();
    std::shared_ptr<UIView> deliver(UITouchPhase phase, CGPoint windowPoint);

    std::shared_ptr<UIViewController> rootViewController_;
    std::shared_ptr<UITouch> activeTouch_;
};

}  // namespace platform
