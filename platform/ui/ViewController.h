#pragma once
// A view controller: owns a view that is made on first use (loadView, then
// viewDidLoad), answers rotation questions, and hears memory warnings.
// Main thread only.

#include <memory>

#include "platform/ui/View.h"

namespace platform {

// Interface orientations: 1 portrait, 2 portrait upside down, 3 landscape right, 4 landscape left.
enum UIInterfaceOrientation : long {
    UIInterfaceOrientationUnknown = 0,
    UIInterfaceOrientationPortrait = 1,
    UIInterfaceOrientationPortraitUpsideDown = 2,
    UIInterfaceOrientationLandscapeRight = 3,
    UIInterfaceOrientationLandscapeLeft = 4,
};

// The screen's bounds in points (a phone in portrait).
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
    void setView(std::shared_ptr<UIView> view) { view_ = std::move(view); }

    // Makes a plain view of the screen's bounds; override to make another.
    virtual void loadView();
    virtual void viewDidLoad() {}
    virtual void viewWillAppear(bool animated) {}
    virtual void viewDidAppear(bool animated) {}
    virtual void viewWillDisappear(bool animated) {}
    virtual void viewDidDisappear(bool animated) {}
    // Drops the view (the platform's old unload path).
    virtual void viewDidUnload() {}
    void unloadView();
    virtual void didReceiveMemoryWarning() { ++memoryPurges_; }
    int memoryPurges() const { return memoryPurges_; }

    virtual bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) {
        return orientation == UIInterfaceOrientationPortrait;
    }
    virtual bool shouldAutorotate() { return true; }
    // Mask of 1 << orientation.
    virtual unsigned long supportedInterfaceOrientations() { return 1ul << UIInterfaceOrientationPortrait; }

private:
    std::shared_ptr<UIView> view_;
    int memoryPurges_ = 0;
};

}  // namespace platform
