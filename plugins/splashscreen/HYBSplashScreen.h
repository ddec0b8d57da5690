#pragma once
// The splash screen: covers the container's view with the app's launch image
// and a spinner from set-up until the first page has loaded, so the user
// never sees an empty web view. The image is picked by device size and
// orientation and kept sized to the view while shown; the view takes no
// touches meanwhile. It goes by itself when the page has loaded (unless
// "AutoHideSplashScreen" is false) or when the page calls hide, with a fade
// when "FadeSplashScreen" asks for one. Its actions answer nothing.
//
// The splash is built on the view of the plugin's view controller (the
// container). Main thread only: set-up, actions, the page-load notification,
// the view observations and the fade all run there.

#include <memory>
#include <optional>
#include <string>

#include "hybrid/HYBInvokedUrlCommand.h"
#include "hybrid/HYBPlugin.h"
#include "hybrid/HYBScreenOrientationDelegate.h"
#include "platform/ui/ActivityIndicatorView.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/ViewAnimation.h"
#include "platform/ui/ViewController.h"

namespace plugins {

// The device as the image choice sees it.
struct HYBSplashDevice {
    bool iPhone = false;
    bool iPad = false;
    bool iPhone5 = false;      // a phone 568 points high
    bool iPhone6 = false;      // a phone 667 points high
    bool iPhone6Plus = false;  // a phone 736 points high
    bool retina = false;       // scale exactly 2
};

// The launch image's view: it can show its image turned a quarter clockwise
// (a portrait picture on an interface held in landscape).
class HYBSplashImageView : public platform::UIImageView {
public:
    using UIImageView::UIImageView;
    double rotation() const { return rotation_; }
    void setRotation(double radians);
    void drawRect(platform::CGRect rect) override;

private:
    double rotation_ = 0;
};

class HYBSplashScreen : public hybrid::HYBPlugin, public std::enable_shared_from_this<HYBSplashScreen> {
public:
    explicit HYBSplashScreen(std::shared_ptr<platform::WebView> webView);
    ~HYBSplashScreen() override;

    void pluginInitialize() override;
    void show(const hybrid::HYBInvokedUrlCommand& command);
    void hide(const hybrid::HYBInvokedUrlCommand& command);
    void pageDidLoad();
    // The parent view's "frame" or "bounds" changed.
    void observeValueForKeyPath(const std::string& keyPath);

    void setVisible(bool visible);
    void createViews();
    void destroyViews();
    static HYBSplashDevice getCurrentDevice();
    // The launch image's name for the orientation, the delegate's supported
    // orientations (none when it is null) and the device.
    static std::string getImageName(platform::UIInterfaceOrientation orientation,
                                    hybrid::HYBScreenOrientationDelegate* delegate, const HYBSplashDevice& device);
    void updateImage();
    void updateBounds();

    // What the splash shows (tests).
    const std::shared_ptr<platform::UIActivityIndicatorView>& activityView() const { return activityView_; }
    const std::shared_ptr<HYBSplashImageView>& imageView() const { return imageView_; }
    const std::optional<std::string>& curImageName() const { return curImageName_; }
    bool visible() const { return visible_; }
    bool isFading() const { return fade_ && fade_->isRunning(); }

protected:
    const hybrid::HYBActionTable& actionTable() const override;

private:
    std::shared_ptr<platform::UIView> parentView() const;
    platform::Value setting(const std::string& name) const;
    // The fade's length: 0 unless "FadeSplashScreen" is true.
    double fadeDuration() const;
    void cancelFade();

    std::shared_ptr<platform::UIActivityIndicatorView> activityView_;
    std::shared_ptr<HYBSplashImageView> imageView_;
    std::optional<std::string> curImageName_;
    bool visible_ = false;
    // The view the splash covers, while it does: it gets its touches and its
    // observers back from here even if the controller's view has changed.
    std::weak_ptr<platform::UIView> coveredView_;
    platform::UIView::KeyPathObserverToken frameObservation_ = 0;
    platform::UIView::KeyPathObserverToken boundsObservation_ = 0;
    std::shared_ptr<platform::UIViewAnimation> fade_;
};

}  // namespace plugins
