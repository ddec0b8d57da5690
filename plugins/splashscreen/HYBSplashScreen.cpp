#include "plugins/splashscreen/HYBSplashScreen.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <utility>

#include "hybrid/HYBCommandDelegate.h"
#include "hybrid/HYBContainer.h"
#include "hybrid/HYBNotifications.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/Strings.h"
#include "platform/graphics/Image.h"
#include "platform/ui/Application.h"
#include "platform/ui/Device.h"
#include "platform/ui/Screen.h"

namespace plugins {

using platform::CGRect;
using platform::CGSize;
using platform::UIInterfaceOrientation;
using platform::Value;

namespace {

constexpr double kDefaultFadeDuration = 0.25;
constexpr double kQuarterTurn = 1.5707963267948966;

// The simulated device's main screen, read upright: the phone's screen
// reports its bounds in portrait whichever way the interface is turned, and
// the device is named by them.
CGSize uprightMainScreenSize() {
    const CGSize size = platform::UIScreen::mainScreen().bounds().size;
    return {std::min(size.width, size.height), std::max(size.width, size.height)};
}

UIInterfaceOrientation currentInterfaceOrientation() {
    return platform::UIApplication::sharedApplication().statusBarOrientation();
}

bool isLandscape(UIInterfaceOrientation orientation) {
    return orientation == platform::UIInterfaceOrientationLandscapeRight ||
           orientation == platform::UIInterfaceOrientationLandscapeLeft;
}

unsigned long maskOf(UIInterfaceOrientation orientation) { return 1ul << orientation; }

std::string launchImageBaseName() {
    const Value file = platform::Bundle::main().objectForInfoDictionaryKey("UILaunchImageFile");
    if (!file.isString() || file.string()->empty()) return "Default";
    const std::string& name = *file.string();
    // Only the last path component's extension goes.
    const std::size_t slash = name.rfind('/');
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) ||
        dot == (slash == std::string::npos ? 0 : slash + 1))
        return name;
    return name.substr(0, dot);
}

}  // namespace

// --- HYBSplashImageView -----------------------------------------------------------

void HYBSplashImageView::setRotation(double radians) {
    if (radians == rotation_) return;
    rotation_ = radians;
    setNeedsDisplay();
}

void HYBSplashImageView::drawRect(CGRect rect) {
    if (rotation_ == 0 || !image()) {
        UIImageView::drawRect(rect);
        return;
    }
    platform::CGContextRef context = platform::UIGraphicsGetCurrentContext();
    if (!context) return;
    // Turned, the image fills the bounds with its width along their height.
    const CGRect b = bounds();
    cairo_t* cr = context->cairo();
    cairo_save(cr);
    cairo_translate(cr, b.origin.x + b.size.width / 2, b.origin.y + b.size.height / 2);
    cairo_rotate(cr, rotation_);
    image()->drawInRect({{-b.size.height / 2, -b.size.width / 2}, {b.size.height, b.size.width}});
    cairo_restore(cr);
}

// --- HYBSplashScreen ----------------------------------------------------------------

HYBSplashScreen::HYBSplashScreen(std::shared_ptr<platform::WebView> webView) : HYBPlugin(std::move(webView)) {}

// Left behind, the splash would cover the page and keep its touches for good.
HYBSplashScreen::~HYBSplashScreen() {
    platform::NotificationCenter::defaultCenter().removeObserver(this, hybrid::HYBPageDidLoadNotification);
    cancelFade();
    destroyViews();
}

const hybrid::HYBActionTable& HYBSplashScreen::actionTable() const {
    static const auto table = hybrid::HYBActionTable::of<HYBSplashScreen>({
        {"show", &HYBSplashScreen::show},
        {"hide", &HYBSplashScreen::hide},
    });
    return table;
}

void HYBSplashScreen::pluginInitialize() {
    platform::assertMainThread("HYBSplashScreen::pluginInitialize");
    const std::weak_ptr<HYBSplashScreen> weak = weak_from_this();
    platform::NotificationCenter::defaultCenter().addObserver(
        this, hybrid::HYBPageDidLoadNotification, webView().get(), [weak](const platform::Notification&) {
            if (auto self = weak.lock()) self->pageDidLoad();
        });
    setVisible(true);
}

void HYBSplashScreen::show(const hybrid::HYBInvokedUrlCommand&) {
    platform::assertMainThread("HYBSplashScreen::show");
    setVisible(true);
}

void HYBSplashScreen::hide(const hybrid::HYBInvokedUrlCommand&) {
    platform::assertMainThread("HYBSplashScreen::hide");
    setVisible(false);
}

void HYBSplashScreen::pageDidLoad() {
    platform::assertMainThread("HYBSplashScreen::pageDidLoad");
    const Value autoHide = setting("AutoHideSplashScreen");
    if (!autoHide.isNil() && !autoHide.boolValue()) return;
    setVisible(false);
}

void HYBSplashScreen::observeValueForKeyPath(const std::string&) {
    platform::assertMainThread("HYBSplashScreen::observeValueForKeyPath");
    updateImage();
}

Value HYBSplashScreen::setting(const std::string& name) const {
    const std::string key = platform::toLower(name);
    platform::Dictionary settings;
    if (auto delegate = commandDelegate())
        settings = delegate->settings();
    else if (auto container = viewController())
        settings = container->settings();
    const auto it = settings.find(key);
    return it == settings.end() ? Value() : it->second;
}

double HYBSplashScreen::fadeDuration() const {
    const Value fade = setting("FadeSplashScreen");
    if (fade.isNil() || !fade.boolValue()) return 0;
    const Value duration = setting("FadeSplashScreenDuration");
    const double seconds = duration.isNil() ? kDefaultFadeDuration : static_cast<float>(duration.doubleValue());
    if (const std::string* text = duration.string()) {
        // A word, or a number with more after it ("2s"), is read as far as it goes.
        std::size_t used = 0;
        platform::doubleValueOfString(*text, &used);
        if (used != text->size())
            platform::logf("SplashScreen: preference FadeSplashScreenDuration '%s' is not a number: read as %g s",
                           text->c_str(), seconds);
    }
    // A negative or endless fade would leave the splash up, blocking touches, for good.
    return std::isfinite(seconds) && seconds > 0 ? seconds : 0;
}

std::shared_ptr<platform::UIView> HYBSplashScreen::parentView() const {
    const auto controller = std::dynamic_pointer_cast<platform::UIViewController>(viewController());
    return controller ? controller->view() : nullptr;
}

void HYBSplashScreen::cancelFade() {
    if (auto fade = std::exchange(fade_, nullptr)) fade->cancel();
}

void HYBSplashScreen::setVisible(bool visible) {
    platform::assertMainThread("HYBSplashScreen::setVisible");
    if (visible == visible_) return;
    visible_ = visible;
    if (visible) {
        // Shown again while fading out: the fade stops and the splash stays,
        // rather than being taken down under a splash that is wanted.
        if (isFading()) {
            cancelFade();
            if (imageView_) imageView_->setAlpha(1);
            if (activityView_) activityView_->setAlpha(1);
        }
        if (!imageView_) createViews();
        return;
    }
    const double duration = fadeDuration();
    const auto parent = coveredView_.lock();
    if (duration <= 0 || !parent || !imageView_) {
        cancelFade();
        destroyViews();
        return;
    }
    const std::weak_ptr<HYBSplashScreen> weak = weak_from_this();
    fade_ = platform::UIViewAnimation::transitionWithView(
        parent, duration, platform::UIViewAnimationOptionNone,
        [this] {
            if (imageView_) imageView_->setAlpha(0);
            if (activityView_) activityView_->setAlpha(0);
        },
        [weak](bool finished) {
            auto self = weak.lock();
            if (!self || !finished) return;
            self->fade_.reset();
            self->destroyViews();
        });
}

void HYBSplashScreen::createViews() {
    platform::assertMainThread("HYBSplashScreen::createViews");
    const auto parent = parentView();
    if (!parent) {
        platform::log("HYBSplashScreen: no view controller to show the splash screen on");
        return;
    }
    const std::string indicator = setting("TopActivityIndicator").stringValue();
    platform::UIActivityIndicatorViewStyle style = platform::UIActivityIndicatorViewStyleGray;
    if (indicator == "whiteLarge")
        style = platform::UIActivityIndicatorViewStyleWhiteLarge;
    else if (indicator == "white")
        style = platform::UIActivityIndicatorViewStyleWhite;

    parent->setUserInteractionEnabled(false);
    coveredView_ = parent;

    const CGRect bounds = parent->bounds();
    activityView_ = std::make_shared<platform::UIActivityIndicatorView>(style);
    activityView_->setCenter({bounds.size.width / 2, bounds.size.height / 2});
    activityView_->setAutoresizingMask(
        platform::UIViewAutoresizingFlexibleTopMargin | platform::UIViewAutoresizingFlexibleLeftMargin |
        platform::UIViewAutoresizingFlexibleBottomMargin | platform::UIViewAutoresizingFlexibleRightMargin);
    activityView_->startAnimating();

    imageView_ = std::make_shared<HYBSplashImageView>();
    parent->addSubview(imageView_);

    const Value showSpinner = setting("ShowSplashScreenSpinner");
    if (showSpinner.isNil() || showSpinner.boolValue()) parent->addSubview(activityView_);

    const std::weak_ptr<HYBSplashScreen> weak = weak_from_this();
    auto observer = [weak](const std::string& keyPath) {
        if (auto self = weak.lock()) self->observeValueForKeyPath(keyPath);
    };
    frameObservation_ = parent->addObserverForKeyPath("frame", observer);
    boundsObservation_ = parent->addObserverForKeyPath("bounds", observer);

    updateImage();
}

void HYBSplashScreen::destroyViews() {
    if (imageView_) imageView_->removeFromSuperview();
    if (activityView_) {
        activityView_->stopAnimating();
        activityView_->removeFromSuperview();
    }
    imageView_.reset();
    activityView_.reset();
    curImageName_.reset();
    if (auto parent = coveredView_.lock()) {
        parent->setUserInteractionEnabled(true);
        parent->removeObserver(frameObservation_);
        parent->removeObserver(boundsObservation_);
    }
    coveredView_.reset();
    frameObservation_ = boundsObservation_ = 0;
}

HYBSplashDevice HYBSplashScreen::getCurrentDevice() {
    HYBSplashDevice device;
    // The device stand-in's model names the idiom: "iPad..." is a pad, anything else a phone.
    device.iPad = platform::UIDevice::currentDevice().model().starts_with("iPad");
    device.iPhone = !device.iPad;
    const double height = uprightMainScreenSize().height;
    device.iPhone5 = device.iPhone && height == 568;
    device.iPhone6 = device.iPhone && height == 667;
    device.iPhone6Plus = device.iPhone && height == 736;
    device.retina = platform::UIScreen::mainScreen().scale() == 2.0;
    return device;
}

std::string HYBSplashScreen::getImageName(UIInterfaceOrientation orientation,
                                          hybrid::HYBScreenOrientationDelegate* delegate,
                                          const HYBSplashDevice& device) {
    using namespace platform;
    const unsigned long mask = delegate ? delegate->supportedInterfaceOrientations() : 0;
    const bool supportsPortrait =
        mask & (maskOf(UIInterfaceOrientationPortrait) | maskOf(UIInterfaceOrientationPortraitUpsideDown));
    const bool supportsLandscape =
        mask & (maskOf(UIInterfaceOrientationLandscapeLeft) | maskOf(UIInterfaceOrientationLandscapeRight));
    const bool supportsBoth = supportsPortrait && supportsLandscape;
    const bool landscape = isLandscape(orientation);

    std::string name = launchImageBaseName();
    if (device.iPhone5) return name + "-568h";
    if (device.iPhone6) return name + "-667h";
    if (device.iPhone6Plus) {
        if (supportsBoth ? landscape : supportsLandscape) name += "-Landscape";
        return name + "-736h";
    }
    if (device.iPad) return name + ((supportsBoth ? landscape : supportsLandscape) ? "-Landscape" : "-Portrait");
    return name;
}

void HYBSplashScreen::updateImage() {
    platform::assertMainThread("HYBSplashScreen::updateImage");
    if (!imageView_) return;
    const auto container = viewController();
    const std::string name = getImageName(currentInterfaceOrientation(),
                                          dynamic_cast<hybrid::HYBScreenOrientationDelegate*>(container.get()),
                                          getCurrentDevice());
    if (name != curImageName_) {
        imageView_->setImage(platform::UIImage::imageNamed(name));
        curImageName_ = name;
    }
    if (imageView_->image())
        updateBounds();
    else
        platform::logf("WARNING: The splashscreen image named %s was not found", name.c_str());
}

void HYBSplashScreen::updateBounds() {
    platform::assertMainThread("HYBSplashScreen::updateBounds");
    const auto parent = coveredView_.lock();
    if (!imageView_ || !imageView_->image() || !parent) return;
    const CGSize image = imageView_->image()->size();
    double w = image.width;
    double h = image.height;
    double y = 0;

    const CGSize screen = parent->convertRectFromView(platform::UIScreen::mainScreen().bounds(), nullptr).size;

    // Only a portrait picture is turned for an interface held in landscape: a
    // landscape one (the 736-point phone's) already fits it.
    double rotation = 0;
    if (isLandscape(currentInterfaceOrientation()) && !getCurrentDevice().iPad && h > w) {
        rotation = kQuarterTurn;
        std::swap(w, h);
    }

    if (screen.width == w && screen.height == h) {
        if (platform::compareVersions(platform::UIDevice::currentDevice().systemVersion(), "7.0") < 0) {
            // Before 7.0 the view starts below the status bar; its thickness
            // is the bar's shorter side, whichever way it lies.
            const CGRect bar =
                parent->convertRectFromView(platform::UIApplication::sharedApplication().statusBarFrame(), nullptr);
            y -= std::min(bar.size.width, bar.size.height);
        }
    } else if (w > 0 && h > 0) {
        const CGSize view = parent->bounds().size;
        if (view.width > 0 && view.height > 0) {
            const double scale = view.width / view.height > w / h ? view.width / w : view.height / h;
            w *= scale;
            h *= scale;
        }
    }

    imageView_->setRotation(rotation);
    imageView_->setFrame({{0, y}, {w, h}});
}

}  // namespace plugins
