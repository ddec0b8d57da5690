#include "plugins/statusbar/HYBStatusBar.h"

#include <cstdint>

#include "hybrid/HYBCommandDelegate.h"
#include "hybrid/HYBViewController.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/Strings.h"
#include "platform/ui/Device.h"
#include "platform/ui/Screen.h"

namespace plugins {

using platform::CGRect;
using platform::UIApplication;
using platform::UIColor;
using platform::Value;

namespace {

bool systemVersionAtLeast7() {
    return platform::compareVersions(platform::UIDevice::currentDevice().systemVersion(), "7.0") >= 0;
}

// Argument 0 as a string; a present argument of another type reads as
// `otherwise`, a missing one as absent (nothing changes and the line says why).
std::optional<std::string> stringArgument(const hybrid::HYBInvokedUrlCommand& command, const char* action,
                                          const char* otherwise) {
    if (command.arguments().empty()) {
        platform::logf("StatusBar: %s ignored: argument 0 is missing", action);
        return std::nullopt;
    }
    const Value value = command.argumentAtIndex(0);
    return value.isString() ? *value.string() : std::string(otherwise);
}

// "#" and a run of six or eight hex digits, whatever follows the run (a
// stray ";" or blank from a style sheet); the colour is the value's low 24
// bits, so "#80ff0000" is red. Runs of other lengths are refused rather than
// read as far as they go, which would turn "#fff" into navy and "#ff00001"
// into a colour nobody wrote.
std::optional<UIColor> colorFromHexString(const std::string& text) {
    if (text.empty() || text[0] != '#') return std::nullopt;
    std::uint32_t value = 0;
    std::size_t digits = 0;
    for (; 1 + digits < text.size() && digits <= 8; ++digits) {
        const int digit = platform::hexDigitValue(text[1 + digits]);
        if (digit < 0) break;
        value = value * 16 + static_cast<std::uint32_t>(digit);
    }
    if (digits != 6 && digits != 8) return std::nullopt;
    return UIColor::colorWithRedGreenBlueAlpha(((value >> 16) & 0xFF) / 255.0, ((value >> 8) & 0xFF) / 255.0,
                                               (value & 0xFF) / 255.0, 1.0);
}

}  // namespace

HYBStatusBar::HYBStatusBar(std::shared_ptr<platform::WebView> webView) : HYBPlugin(std::move(webView)) {}

HYBStatusBar::~HYBStatusBar() {
    if (statusBarHiddenObservation_) UIApplication::sharedApplication().removeObserver(*statusBarHiddenObservation_);
}

const hybrid::HYBActionTable& HYBStatusBar::actionTable() const {
    static const auto table = hybrid::HYBActionTable::of<HYBStatusBar>({
        {"_ready", &HYBStatusBar::_ready},
        {"overlaysWebView", &HYBStatusBar::overlaysWebView},
        {"styleDefault", &HYBStatusBar::styleDefault},
        {"styleLightContent", &HYBStatusBar::styleLightContent},
        {"styleBlackTranslucent", &HYBStatusBar::styleBlackTranslucent},
        {"styleBlackOpaque", &HYBStatusBar::styleBlackOpaque},
        {"backgroundColorByName", &HYBStatusBar::backgroundColorByName},
        {"backgroundColorByHexString", &HYBStatusBar::backgroundColorByHexString},
        {"hide", &HYBStatusBar::hide},
        {"show", &HYBStatusBar::show},
    });
    return table;
}

std::shared_ptr<platform::UIViewController> HYBStatusBar::hostViewController() const {
    return std::dynamic_pointer_cast<platform::UIViewController>(viewController());
}

std::shared_ptr<hybrid::HYBViewController> HYBStatusBar::hybridViewController() const {
    return std::dynamic_pointer_cast<hybrid::HYBViewController>(viewController());
}

bool HYBStatusBar::isLandscape() const {
    const auto controller = hostViewController();
    const long orientation = controller ? controller->interfaceOrientation()
                                        : UIApplication::sharedApplication().statusBarOrientation();
    return orientation == platform::UIInterfaceOrientationLandscapeRight ||
           orientation == platform::UIInterfaceOrientationLandscapeLeft;
}

double HYBStatusBar::statusBarThickness() const {
    const CGRect frame = UIApplication::sharedApplication().statusBarFrame();
    return isLandscape() ? frame.size.width : frame.size.height;
}

void HYBStatusBar::pluginInitialize() {
    platform::assertMainThread("HYBStatusBar::pluginInitialize");
    // The application reads Info.plist's "UIViewControllerBasedStatusBarAppearance"
    // and the system version by the same rule; one answer for both sides.
    uiviewControllerBasedStatusBarAppearance_ = UIApplication::sharedApplication().viewControllerBasedStatusBarAppearance();
    if (!statusBarHiddenObservation_) {
        statusBarHiddenObservation_ = UIApplication::sharedApplication().addObserverForKeyPath(
            "statusBarHidden", [this](const std::string& keyPath, const platform::Dictionary& change) {
                observeValueForKeyPath(keyPath, &UIApplication::sharedApplication(), change, nullptr);
            });
    }
    statusBarOverlaysWebView_ = true;
    initializeStatusBarBackgroundView();
    styleLightContent(hybrid::HYBInvokedUrlCommand({}, std::nullopt, std::nullopt, std::nullopt));
    if (const auto controller = hostViewController()) controller->view()->setAutoresizesSubviews(true);

    const Value overlays = settingForKey("StatusBarOverlaysWebView");
    if (!overlays.isNil()) setStatusBarOverlaysWebView(overlays.boolValue());
    const Value color = settingForKey("StatusBarBackgroundColor");
    if (!color.isNil()) {
        if (color.isString())
            _backgroundColorByHexString(*color.string());
        else
            platform::logf("StatusBar: preference StatusBarBackgroundColor ignored: %s is not a string",
                           color.description().c_str());
    }
}

Value HYBStatusBar::settingForKey(const std::string& key) const {
    const auto delegate = commandDelegate();
    if (!delegate) return {};
    const platform::Dictionary settings = delegate->settings();
    const auto it = settings.find(platform::toLower(key));
    return it == settings.end() ? Value() : it->second;
}

void HYBStatusBar::observeValueForKeyPath(const std::string& keyPath, const void*, const platform::Dictionary& change,
                                          void*) {
    platform::assertMainThread("HYBStatusBar::observeValueForKeyPath");
    if (keyPath != "statusBarHidden") return;
    const auto it = change.find(platform::NSKeyValueChangeNewKey);
    const bool hidden = it != change.end() && it->second.boolValue();
    reportVisibility(!hidden);
}

void HYBStatusBar::reportVisibility(bool visible) {
    if (const auto delegate = commandDelegate())
        delegate->evalJs(platform::format("StatusBar.isVisible = %s;", visible ? "true" : "false"));
}

void HYBStatusBar::_ready(const hybrid::HYBInvokedUrlCommand&) {
    platform::assertMainThread("HYBStatusBar::_ready");
    reportVisibility(!UIApplication::sharedApplication().isStatusBarHidden());
}

void HYBStatusBar::initializeStatusBarBackgroundView() {
    platform::assertMainThread("HYBStatusBar::initializeStatusBarBackgroundView");
    const CGRect frame = UIApplication::sharedApplication().statusBarFrame();
    const CGRect stripFrame = isLandscape() ? platform::CGRectMake(0, 0, frame.size.height, frame.size.width) : frame;
    statusBarBackgroundView_ = std::make_shared<platform::UIView>(stripFrame);
    statusBarBackgroundView_->setBackgroundColor(statusBarBackgroundColor_);
    statusBarBackgroundView_->setAutoresizingMask(platform::UIViewAutoresizingFlexibleWidth |
                                                  platform::UIViewAutoresizingFlexibleBottomMargin);
    statusBarBackgroundView_->setAutoresizesSubviews(true);
}

void HYBStatusBar::setStatusBarOverlaysWebView(bool overlays) {
    platform::assertMainThread("HYBStatusBar::setStatusBarOverlaysWebView");
    if (!systemVersionAtLeast7() || overlays == statusBarOverlaysWebView_) return;
    const auto web = webView();
    if (overlays) {
        statusBarBackgroundView_->removeFromSuperview();
        if (web) web->setFrame(platform::UIScreen::mainScreen().bounds());
    } else {
        initializeStatusBarBackgroundView();
        if (web) {
            const CGRect frame = web->frame();
            const double thickness = statusBarThickness();
            web->setFrame(platform::CGRectMake(frame.origin.x, thickness, frame.size.width, frame.size.height - thickness));
            if (const auto parent = web->superview()) parent->addSubview(statusBarBackgroundView_);
        }
    }
    statusBarOverlaysWebView_ = overlays;
}

void HYBStatusBar::overlaysWebView(const hybrid::HYBInvokedUrlCommand& command) {
    platform::assertMainThread("HYBStatusBar::overlaysWebView");
    if (command.arguments().empty()) {
        platform::log("StatusBar: overlaysWebView ignored: argument 0 is missing");
        return;
    }
    const Value value = command.argumentAtIndex(0);
    setStatusBarOverlaysWebView(value.isNumber() ? value.boolValue() : true);
}

void HYBStatusBar::refreshStatusBarAppearance() {
    platform::assertMainThread("HYBStatusBar::refreshStatusBarAppearance");
    if (const auto controller = hostViewController()) controller->setNeedsStatusBarAppearanceUpdate();
}

// A container that is no HYBViewController has nowhere to keep the page's
// wishes, so its status bar is set on the application as without view
// controller-based appearance.
void HYBStatusBar::setStyleForStatusBar(long style) {
    platform::assertMainThread("HYBStatusBar::setStyleForStatusBar");
    const auto container = hybridViewController();
    if (uiviewControllerBasedStatusBarAppearance_ && container) {
        container->setSb_statusBarStyle(Value(style));
        refreshStatusBarAppearance();
    } else {
        UIApplication::sharedApplication().setStatusBarStyle(style);
    }
}

void HYBStatusBar::setStatusBarStyle(const std::string& styleName) {
    platform::assertMainThread("HYBStatusBar::setStatusBarStyle");
    const hybrid::HYBInvokedUrlCommand none({}, std::nullopt, std::nullopt, std::nullopt);
    const std::string lowered = platform::toLower(styleName);
    if (lowered == "default") styleDefault(none);
    else if (lowered == "lightcontent") styleLightContent(none);
    else if (lowered == "blacktranslucent") styleBlackTranslucent(none);
    else if (lowered == "blackopaque") styleBlackOpaque(none);
}

void HYBStatusBar::styleDefault(const hybrid::HYBInvokedUrlCommand&) {
    platform::assertMainThread("HYBStatusBar::styleDefault");
    setStyleForStatusBar(platform::UIStatusBarStyleDefault);
}
void HYBStatusBar::styleLightContent(const hybrid::HYBInvokedUrlCommand&) {
    platform::assertMainThread("HYBStatusBar::styleLightContent");
    setStyleForStatusBar(platform::UIStatusBarStyleLightContent);
}
void HYBStatusBar::styleBlackTranslucent(const hybrid::HYBInvokedUrlCommand&) {
    platform::assertMainThread("HYBStatusBar::styleBlackTranslucent");
    setStyleForStatusBar(platform::UIStatusBarStyleBlackTranslucent);
}
void HYBStatusBar::styleBlackOpaque(const hybrid::HYBInvokedUrlCommand&) {
    platform::assertMainThread("HYBStatusBar::styleBlackOpaque");
    setStyleForStatusBar(platform::UIStatusBarStyleBlackOpaque);
}

void HYBStatusBar::backgroundColorByName(const hybrid::HYBInvokedUrlCommand& command) {
    platform::assertMainThread("HYBStatusBar::backgroundColorByName");
    const auto name = stringArgument(command, "backgroundColorByName", "black");
    if (!name) return;
    const auto color = UIColor::colorFromClassMethodNamed(*name + "Color");
    if (!color) {
        platform::logf("StatusBar: backgroundColorByName ignored: no colour named '%s'", name->c_str());
        return;
    }
    // Kept, like a hex colour, so that a strip made later (the overlay
    // switched off again) shows the colour the page chose last.
    statusBarBackgroundColor_ = *color;
    statusBarBackgroundView_->setBackgroundColor(*color);
}

void HYBStatusBar::backgroundColorByHexString(const hybrid::HYBInvokedUrlCommand& command) {
    platform::assertMainThread("HYBStatusBar::backgroundColorByHexString");
    if (const auto text = stringArgument(command, "backgroundColorByHexString", "#000000")) _backgroundColorByHexString(*text);
}

void HYBStatusBar::_backgroundColorByHexString(const std::string& text) {
    platform::assertMainThread("HYBStatusBar::_backgroundColorByHexString");
    const auto color = colorFromHexString(text);
    if (!color) {
        platform::logf("StatusBar: colour '%s' ignored: expected # and six or eight hexadecimal digits", text.c_str());
        return;
    }
    statusBarBackgroundColor_ = *color;
    statusBarBackgroundView_->setBackgroundColor(*color);
}

void HYBStatusBar::hideStatusBar() {
    platform::assertMainThread("HYBStatusBar::hideStatusBar");
    const auto container = hybridViewController();
    if (uiviewControllerBasedStatusBarAppearance_ && container) {
        container->setSb_hideStatusBar(Value(true));
        refreshStatusBarAppearance();
    } else {
        UIApplication::sharedApplication().setStatusBarHidden(true);
    }
}

void HYBStatusBar::showStatusBar() {
    platform::assertMainThread("HYBStatusBar::showStatusBar");
    const auto container = hybridViewController();
    if (uiviewControllerBasedStatusBarAppearance_ && container) {
        container->setSb_hideStatusBar(Value(false));
        refreshStatusBarAppearance();
    } else {
        UIApplication::sharedApplication().setStatusBarHidden(false);
    }
}

void HYBStatusBar::hide(const hybrid::HYBInvokedUrlCommand&) {
    platform::assertMainThread("HYBStatusBar::hide");
    if (UIApplication::sharedApplication().isStatusBarHidden()) return;
    const auto controller = hostViewController();
    if (controller) controller->setWantsFullScreenLayout(true);
    hideStatusBar();
    if (systemVersionAtLeast7()) statusBarBackgroundView_->removeFromSuperview();
    // The web view grows up to the top and keeps its bottom edge. One that
    // already starts at the top (overlay on) keeps its frame: adding the
    // bar's thickness would push its bottom below the screen.
    if (const auto web = webView()) {
        const CGRect frame = web->frame();
        web->setFrame(platform::CGRectMake(frame.origin.x, 0, frame.size.width, frame.size.height + frame.origin.y));
    }
    statusBarBackgroundView_->setHidden(true);
}

void HYBStatusBar::show(const hybrid::HYBInvokedUrlCommand&) {
    platform::assertMainThread("HYBStatusBar::show");
    UIApplication& application = UIApplication::sharedApplication();
    if (!application.isStatusBarHidden()) return;
    const bool modern = systemVersionAtLeast7();
    const auto controller = hostViewController();
    if (controller) controller->setWantsFullScreenLayout(modern);
    showStatusBar();
    const CGRect screen = platform::UIScreen::mainScreen().bounds();
    if (modern) {
        const auto web = webView();
        const CGRect before = web ? web->frame() : CGRect{};
        if (controller) controller->view()->setFrame(screen);
        if (!statusBarOverlaysWebView_ && web) {
            const CGRect bar = application.statusBarFrame();
            const bool landscape = isLandscape();
            const double thickness = landscape ? bar.size.width : bar.size.height;
            CGRect strip = statusBarBackgroundView_->frame();
            strip.size = {landscape ? bar.size.height : bar.size.width, thickness};
            statusBarBackgroundView_->setFrame(strip);
            if (const auto parent = web->superview()) parent->addSubview(statusBarBackgroundView_);
            web->setFrame(platform::CGRectMake(before.origin.x, thickness, before.size.width, before.size.height - thickness));
        }
    } else if (controller) {
        // The screen less the status bar (the screen's application frame).
        const CGRect bar = application.statusBarFrame();
        controller->view()->setFrame(isLandscape() ? platform::CGRectMake(bar.size.width, 0, screen.size.width - bar.size.width,
                                                                          screen.size.height)
                                                   : platform::CGRectMake(0, bar.size.height, screen.size.width,
                                                                          screen.size.height - bar.size.height));
    }
    statusBarBackgroundView_->setHidden(false);
}

}  // namespace plugins
