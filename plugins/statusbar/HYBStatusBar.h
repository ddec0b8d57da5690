#pragma once
// The page's control of the status bar above the web view: its style, its
// visibility, the colour of the strip shown in its place, and whether the web
// view runs under it (overlay) or starts below it with the strip in the gap.
// The page's StatusBar.isVisible follows every change of the application's
// "statusBarHidden", whoever made it. No action answers the page.
//
// Preferences (config.xml): "StatusBarOverlaysWebView" (boolean, default on)
// and "StatusBarBackgroundColor" ("#RRGGBB").
//
// Main thread only: actions come from the command queue, and the
// application tells its observers on the main thread.

#include <memory>
#include <optional>
#include <string>

#include "hybrid/HYBInvokedUrlCommand.h"
#include "hybrid/HYBPlugin.h"
#include "platform/graphics/Color.h"
#include "platform/ui/Application.h"
#include "platform/ui/View.h"

namespace hybrid {
class HYBViewController;
}

namespace plugins {

class HYBStatusBar : public hybrid::HYBPlugin {
public:
    explicit HYBStatusBar(std::shared_ptr<platform::WebView> webView);
    ~HYBStatusBar() override;

    void pluginInitialize() override;

    // Actions.
    void _ready(const hybrid::HYBInvokedUrlCommand& command);
    // Argument 0: on or off; anything but a number counts as on.
    void overlaysWebView(const hybrid::HYBInvokedUrlCommand& command);
    void styleDefault(const hybrid::HYBInvokedUrlCommand& command);
    void styleLightContent(const hybrid::HYBInvokedUrlCommand& command);
    void styleBlackTranslucent(const hybrid::HYBInvokedUrlCommand& command);
    void styleBlackOpaque(const hybrid::HYBInvokedUrlCommand& command);
    // Argument 0: a colour name such as "red" (UIColor's redColor).
    void backgroundColorByName(const hybrid::HYBInvokedUrlCommand& command);
    // Argument 0: "#RRGGBB".
    void backgroundColorByHexString(const hybrid::HYBInvokedUrlCommand& command);
    void hide(const hybrid::HYBInvokedUrlCommand& command);
    void show(const hybrid::HYBInvokedUrlCommand& command);

    // The container's setting under the lower-cased key, nil when absent.
    platform::Value settingForKey(const std::string& key) const;
    void observeValueForKeyPath(const std::string& keyPath, const void* object, const platform::Dictionary& change,
                                void* context);

    bool statusBarOverlaysWebView() const { return statusBarOverlaysWebView_; }
    // The overlay switch: nothing below system 7.0 or when already so.
    void setStatusBarOverlaysWebView(bool overlays);
    void setStyleForStatusBar(long style);
    // "default", "lightcontent", "blacktranslucent" or "blackopaque", in any case.
    void setStatusBarStyle(const std::string& styleName);

    void hideStatusBar();
    void showStatusBar();
    void refreshStatusBarAppearance();
    void initializeStatusBarBackgroundView();
    void _backgroundColorByHexString(const std::string& text);

    const std::shared_ptr<platform::UIView>& statusBarBackgroundView() const { return statusBarBackgroundView_; }

protected:
    const hybrid::HYBActionTable& actionTable() const override;

private:
    std::shared_ptr<platform::UIViewController> hostViewController() const;
    std::shared_ptr<hybrid::HYBViewController> hybridViewController() const;
    bool isLandscape() const;
    double statusBarThickness() const;
    void reportVisibility(bool visible);

    bool statusBarOverlaysWebView_ = true;
    std::shared_ptr<platform::UIView> statusBarBackgroundView_;
    bool uiviewControllerBasedStatusBarAppearance_ = false;
    std::optional<platform::UIColor> statusBarBackgroundColor_;
    std::optional<platform::KeyValueObserverToken> statusBarHiddenObservation_;
};

}  // namespace plugins
