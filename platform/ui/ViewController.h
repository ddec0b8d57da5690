#pragma once
// A view controller: owns a view that is made on first use (loadView, then
// viewDidLoad), answers rotation questions, says how it wants the status bar
// shown, and hears memory warnings. It presents another controller full
// screen (its view laid over the key window, on top of everything) and
// dismisses it; without animations, completions run before the call returns.
// A container (UINavigationController) makes itself the parent of the
// controllers it holds; the parent is held weakly, the child strongly by the
// container. Main thread only.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/ui/NavigationItem.h"
#include "platform/ui/View.h"

namespace platform {

class UINavigationController;

// Interface orientations: 1 portrait, 2 portrait upside down, 3 landscape right, 4 landscape left.
enum UIInterfaceOrientation : long {
    UIInterfaceOrientationUnknown = 0,
    UIInterfaceOrientationPortrait = 1,
    UIInterfaceOrientationPortraitUpsideDown = 2,
    UIInterfaceOrientationLandscapeRight = 3,
    UIInterfaceOrientationLandscapeLeft = 4,
};

// Status-bar styles: what colour the bar's text and glyphs take.
enum UIStatusBarStyle : long {
    UIStatusBarStyleDefault = 0,       // dark content, for light backgrounds
    UIStatusBarStyleLightContent = 1,  // light content, for dark backgrounds
    UIStatusBarStyleBlackTranslucent = 1,
    UIStatusBarStyleBlackOpaque = 2,  // light content on an opaque black bar
};

// How a controller wants to be presented; only full screen is drawn here.
enum UIModalPresentationStyle : long {
    UIModalPresentationFullScreen = 0,
    UIModalPresentationPageSheet = 1,
    UIModalPresentationFormSheet = 2,
};

// Which edges of the screen a controller's view reaches under the bars; 0 none.
enum UIRectEdge : unsigned { UIRectEdgeNone = 0, UIRectEdgeAll = 15 };

// The default screen's bounds in points (a phone in portrait); UIScreen has the current ones.
inline constexpr CGRect UIScreenBounds{{0, 0}, {320, 568}};

class UIViewController : public std::enable_shared_from_this<UIViewController> {
public:
    UIViewController() = default;
    virtual ~UIViewController() = default;
    UIViewController(const UIViewController&) = delete;
    UIViewController& operator=(const UIViewController&) = delete;

    // The view, loaded on first use.
    std::shared_ptr<UIView> view();
    bool isViewLoaded() const { return view_ != nullptr; }
    void setView(std::shared_ptr<UIView> view);

    // Makes a plain view of the screen's bounds; override to make another.
    // The view loadView makes tells its controller around each of its
    // layouts (viewWillLayoutSubviews, viewDidLayoutSubviews).
    virtual void loadView();
    virtual void viewDidLoad() {}
    virtual void viewWillLayoutSubviews() {}
    virtual void viewDidLayoutSubviews() {}
    virtual void viewWillAppear(bool animated) {}
    virtual void viewDidAppear(bool animated) {}
    virtual void viewWillDisappear(bool animated) {}
    virtual void viewDidDisappear(bool animated) {}
    // Drops the view (the platform's old unload path).
    virtual void viewDidUnload() {}
    void unloadView();
    virtual void didReceiveMemoryWarning() { ++memoryPurges_; }
    int memoryPurges() const { return memoryPurges_; }

    const std::string& title() const { return title_; }
    void setTitle(std::string title) { title_ = std::move(title); }
    // What a navigation bar shows while this controller is on top; made on first use.
    std::shared_ptr<UINavigationItem> navigationItem();

    // The container holding this controller, while it lives; nullptr at top level.
    std::shared_ptr<UIViewController> parentViewController() const { return parent_.lock(); }
    // The nearest navigation controller among this controller and its parents.
    std::shared_ptr<UINavigationController> navigationController();

    UIModalPresentationStyle modalPresentationStyle() const { return modalPresentationStyle_; }
    void setModalPresentationStyle(UIModalPresentationStyle style) { modalPresentationStyle_ = style; }
    // Layout wishes under the bars, kept for whoever lays the controller out.
    bool automaticallyAdjustsScrollViewInsets() const { return automaticallyAdjustsScrollViewInsets_; }
    void setAutomaticallyAdjustsScrollViewInsets(bool adjusts) { automaticallyAdjustsScrollViewInsets_ = adjusts; }
    unsigned edgesForExtendedLayout() const { return edgesForExtendedLayout_; }
    void setEdgesForExtendedLayout(unsigned edges) { edgesForExtendedLayout_ = edges; }

    // The interface's orientation, which is the status bar's.
    UIInterfaceOrientation interfaceOrientation() const;

    // Asked while the status bar's appearance is managed per view controller
    // (UIApplication::viewControllerBasedStatusBarAppearance).
    virtual bool prefersStatusBarHidden() { return false; }
    virtual long preferredStatusBarStyle() { return UIStatusBarStyleDefault; }
    // Has the status bar take this controller's preferences now, when
    // appearance is managed per view controller and this controller is on
    // top: the last one presented over the key window's root (or the root),
    // or any controller while no key window shows another. A presented
    // controller that did so gives the bar back as it found it when it is
    // dismissed.
    void setNeedsStatusBarAppearanceUpdate();
    bool wantsFullScreenLayout() const { return wantsFullScreenLayout_; }
    void setWantsFullScreenLayout(bool wants) { wantsFullScreenLayout_ = wants; }

    // Full-screen presentation. Presenting while this controller already
    // presents another does nothing (logged), as on the phone.
    void presentViewController(std::shared_ptr<UIViewController> controller, bool animated,
                               std::function<void()> completion = nullptr);
    // Dismisses what this controller presents, or, when it presents nothing,
    // itself from its presenter (and whatever it presents with it).
    void dismissViewControllerAnimated(bool animated, std::function<void()> completion = nullptr);
    std::shared_ptr<UIViewController> presentedViewController() const { return presented_; }
    std::shared_ptr<UIViewController> presentingViewController() const { return presenting_.lock(); }

    virtual bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) {
        return orientation == UIInterfaceOrientationPortrait;
    }
    virtual bool shouldAutorotate() { return true; }
    // Mask of 1 << orientation.
    virtual unsigned long supportedInterfaceOrientations() { return 1ul << UIInterfaceOrientationPortrait; }

protected:
    // For containers: records (or, with an empty pointer, clears) the child's parent.
    static void setParentViewController(UIViewController& child, std::weak_ptr<UIViewController> parent) {
        child.parent_ = std::move(parent);
    }

private:
    std::shared_ptr<UIView> view_;
    std::weak_ptr<UIViewController> parent_;
    std::string title_;
    std::shared_ptr<UINavigationItem> navigationItem_;
    UIModalPresentationStyle modalPresentationStyle_ = UIModalPresentationFullScreen;
    bool automaticallyAdjustsScrollViewInsets_ = true;
    unsigned edgesForExtendedLayout_ = UIRectEdgeAll;
    std::shared_ptr<UIViewController> presented_;
    std::weak_ptr<UIViewController> presenting_;
    // The bar's style and visibility before this presented controller set
    // its own; put back on dismissal.
    std::optional<std::pair<long, bool>> statusBarBeforePresented_;
    bool dismissing_ = false;
    int memoryPurges_ = 0;
    bool wantsFullScreenLayout_ = false;
};

}  // namespace platform
