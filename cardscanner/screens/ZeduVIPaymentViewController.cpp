#include "cardscanner/screens/ZeduVIPaymentViewController.h"

#include <vector>

#include "cardscanner/form/ZeduVIDataEntryViewController.h"
#include "cardscanner/util/ZeduVIMacros.h"
#include "cardscanner/util/ZeduVIUtilities.h"
#include "cardscanner/screens/ZeduVIViewController.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/Application.h"
#include "platform/ui/ViewAnimation.h"
#include "platform/ui/Window.h"

namespace cardscanner {

namespace {

constexpr unsigned long kAllOrientations = 30;
constexpr unsigned long kPortraitOnly = 1ul << platform::UIInterfaceOrientationPortrait;

}  // namespace

ZeduVIPaymentViewController::ZeduVIPaymentViewController(std::shared_ptr<ZeduVIContext> context,
                                                         std::shared_ptr<platform::UIViewController> rootViewController)
    : UINavigationController(rootViewController),
      context_(context ? std::move(context) : std::make_shared<ZeduVIContext>()),
      currentViewControllerIsDataEntry_(
          std::dynamic_pointer_cast<ZeduVIDataEntryViewController>(rootViewController) != nullptr) {
    context_->orientation().setInterfaceOrientation(platform::UIApplication::sharedApplication().statusBarOrientation());
    if (const auto camera = std::dynamic_pointer_cast<ZeduVIViewController>(rootViewController)) {
        camera->setContext(context_);
    }
}

ZeduVIPaymentViewController::~ZeduVIPaymentViewController() {
    platform::NotificationCenter::defaultCenter().removeObserver(this);
}

std::shared_ptr<ZeduVIPaymentViewController> ZeduVIPaymentViewController::create(
    std::shared_ptr<ZeduVIContext> context, std::shared_ptr<platform::UIViewController> rootViewController) {
    auto controller = std::make_shared<ZeduVIPaymentViewController>(std::move(context), rootViewController);
    // The root learns its parent now rather than when the view first loads.
    controller->initWithRootViewController(std::move(rootViewController));
    return controller;
}

std::shared_ptr<ZeduVIPaymentViewController> ZeduVIPaymentViewController::createWithPaymentDelegate(
    const std::shared_ptr<ZeduVIPaymentViewControllerDelegate>& delegate, bool scanningEnabled) {
    if (!delegate) {
        platform::log("Failed to initialize ZeduVIPaymentViewController -- no delegate provided");
        return nullptr;
    }
    auto context = std::make_shared<ZeduVIContext>();
    auto controller = create(context, viewControllerWithScanningEnabled(scanningEnabled, context));
    controller->setPaymentDelegate(delegate);
    return controller;
}

std::shared_ptr<platform::UIViewController> ZeduVIPaymentViewController::viewControllerWithScanningEnabled(
    bool scanningEnabled, const std::shared_ptr<ZeduVIContext>& context) {
    if (scanningEnabled && ZeduVIUtilities::canReadCardWithCamera()) return ZeduVIViewController::create(context);
    auto form = ZeduVIDataEntryViewController::initWithContext(
        context, platform::UIApplication::sharedApplication().isStatusBarHidden());
    form->setManualEntry(true);
    return form;
}

unsigned long ZeduVIPaymentViewController::supportedOverlayOrientationsMask() {
    if (overlayMask_) return *overlayMask_;
    if (context_->allowFreelyRotatingCardGuide()) return kAllOrientations;
    return navigationOrientations();
}

unsigned long ZeduVIPaymentViewController::navigationOrientations() {
    // The navigation controller asks its top screen, and the camera screen
    // asks its navigation controller back: answer the base's once that loops.
    if (askingTopScreen_) return UIViewController::supportedInterfaceOrientations();
    askingTopScreen_ = true;
    const unsigned long mask = UINavigationController::supportedInterfaceOrientations();
    askingTopScreen_ = false;
    return mask;
}

bool ZeduVIPaymentViewController::isBeingPresentedModally() const {
    std::shared_ptr<platform::UIViewController> held;  // keeps the chain's current link alive
    for (const platform::UIViewController* controller = this; controller; controller = held.get()) {
        const auto style = controller->modalPresentationStyle();
        if (style == platform::UIModalPresentationFormSheet || style == platform::UIModalPresentationPageSheet)
            return true;
        auto next = controller->presentingViewController();
        held = next ? next : controller->parentViewController();
    }
    return false;
}

bool ZeduVIPaymentViewController::shouldAutorotate() {
    return currentViewControllerIsDataEntry_ || isBeingPresentedModally();
}

bool ZeduVIPaymentViewController::shouldAutorotateToInterfaceOrientation(platform::UIInterfaceOrientation orientation) {
    return currentViewControllerIsDataEntry_ || isBeingPresentedModally() ||
           orientation == platform::UIInterfaceOrientationPortrait;
}

unsigned long ZeduVIPaymentViewController::supportedInterfaceOrientations() {
    if (currentViewControllerIsDataEntry_) return navigationOrientations();
    return isBeingPresentedModally() ? kAllOrientations : kPortraitOnly;
}

std::string ZeduVIPaymentViewController::description() const {
    const auto delegate = paymentDelegate();
    std::string text = "{delegate: " + (delegate ? delegate->description() : std::string("(null)"));
    const std::pair<const char*, bool> options[] = {
        {"keepStatusBarStyle", keepStatusBarStyle()},
        {"disableBlurWhenBackgrounding", disableBlurWhenBackgrounding()},
        {"suppressScanConfirmation", suppressScanConfirmation()},
        {"suppressScannedCardImage", suppressScannedCardImage()},
        {"maskManualEntryDigits", maskManualEntryDigits()},
        {"collectExpiry", collectExpiry()},
        {"collectCVV", collectCVV()},
        {"collectPostalCode", collectPostalCode()},
        {"scanExpiry", scanExpiry()},
        {"useZeduVILogo", useZeduVILogo()},
        {"disableManualEntryButtons", disableManualEntryButtons()},
        {"allowFreelyRotatingCardGuide", allowFreelyRotatingCardGuide()},
        {"hideZeduVILogo", hideZeduVILogo()},
    };
    for (const auto& [name, set] : options) {
        if (set) text += std::string("; ") + name;
    }
    switch (detectionMode()) {
        case ZeduVIDetectionModeNumber: text += "; DetectNumber"; break;
        case ZeduVIDetectionModeImage: text += "; DetectImage"; break;
        default: text += "; DetectAuto"; break;
    }
    return text + "}";
}

void ZeduVIPaymentViewController::viewWillAppear(bool animated) {
    platform::assertMainThread("ZeduVIPaymentViewController::viewWillAppear");
    auto& application = platform::UIApplication::sharedApplication();
    if (shouldStoreStatusBarStyle_) {
        originalStatusBarStyle_ = application.statusBarStyle();
        statusBarWasOriginallyHidden_ = application.isStatusBarHidden();
        shouldStoreStatusBarStyle_ = false;
    }
    if (const auto bar = navigationBar()) {
        bar->setBarStyle(navigationBarStyle());
        if (ZeduVIMacros::deviceSystemMajorVersion() < 7) {
            bar->setTintColor(navigationBarTintColor());
        } else {
            bar->setBarTintColor(navigationBarTintColor());
        }
    }
    UINavigationController::viewWillAppear(animated);

    if (modalPresentationStyle() == platform::UIModalPresentationFullScreen && !keepStatusBarStyle()) {
        application.setStatusBarStyle(ZeduVIMacros::deviceSystemMajorVersion() < 7 ? platform::UIStatusBarStyleLightContent
                                                                                   : platform::UIStatusBarStyleDefault);
    }
    if (suppressScanConfirmation()) {
        std::vector<std::string> blocked;
        if (collectExpiry()) blocked.emplace_back("collectExpiry");
        if (collectCVV()) blocked.emplace_back("collectCVV");
        if (collectPostalCode()) blocked.emplace_back("collectPostalCode");
        if (!blocked.empty()) {
            std::string list;
            for (const auto& name : blocked) list += (list.empty() ? "" : "/") + name;
            platform::logf("Warning: suppressScanConfirmation blocks %s.", list.c_str());
        }
    }
}

void ZeduVIPaymentViewController::viewDidAppear(bool animated) {
    platform::assertMainThread("ZeduVIPaymentViewController::viewDidAppear");
    UINavigationController::viewDidAppear(animated);
    if (hasAddedObservers_) return;
    hasAddedObservers_ = true;
    // Weak: the notification centre must not keep a dismissed scanner alive.
    const std::weak_ptr<platform::UIViewController> weakSelf = weak_from_this();
    auto& center = platform::NotificationCenter::defaultCenter();
    center.addObserver(this, platform::UIApplicationWillResignActiveNotification, nullptr,
                       [weakSelf](const platform::Notification&) {
                           if (auto self = weakSelf.lock())
                               static_cast<ZeduVIPaymentViewController&>(*self).didReceiveBackgroundingNotification();
                       });
    center.addObserver(this, platform::UIApplicationDidBecomeActiveNotification, nullptr,
                       [weakSelf](const platform::Notification&) {
                           if (auto self = weakSelf.lock())
                               static_cast<ZeduVIPaymentViewController&>(*self).didReceiveForegroundingNotification();
                       });
}

void ZeduVIPaymentViewController::viewWillDisappear(bool animated) {
    platform::assertMainThread("ZeduVIPaymentViewController::viewWillDisappear");
    UINavigationController::viewWillDisappear(animated);
    // Restored whatever the presentation: the form sets the bar's style and
    // shows it inside a sheet too, and the page must get back the bar it had.
    auto& application = platform::UIApplication::sharedApplication();
    application.setStatusBarStyle(originalStatusBarStyle_);
    application.setStatusBarHidden(statusBarWasOriginallyHidden_);
    if (ZeduVIMacros::deviceSystemMajorVersion() >= 7) setNeedsStatusBarAppearanceUpdate();
}

void ZeduVIPaymentViewController::didReceiveBackgroundingNotification() {
    platform::assertMainThread("ZeduVIPaymentViewController::didReceiveBackgroundingNotification");
    if (disableBlurWhenBackgrounding()) return;
    auto window = platform::UIWindow::keyWindow();
    if (!window) return;
    // A second resign before the cover faded would otherwise strand the first one.
    if (obfuscatingView_) obfuscatingView_->removeFromSuperview();
    obfuscatingView_ = ZeduVIUtilities::blurredScreenImageView();
    if (obfuscatingView_) window->addSubview(obfuscatingView_);
}

void ZeduVIPaymentViewController::didReceiveForegroundingNotification() {
    platform::assertMainThread("ZeduVIPaymentViewController::didReceiveForegroundingNotification");
    if (disableBlurWhenBackgrounding() || !obfuscatingView_) return;
    const std::weak_ptr<platform::UIViewController> weakSelf = weak_from_this();
    const auto cover = obfuscatingView_;
    platform::UIViewAnimation::transitionWithView(
        cover, 0.5, platform::UIViewAnimationOptionNone, [cover] { cover->setAlpha(0); },
        [weakSelf, cover](bool) {
            cover->removeFromSuperview();
            auto self = std::static_pointer_cast<ZeduVIPaymentViewController>(weakSelf.lock());
            if (self && self->obfuscatingView_ == cover) self->obfuscatingView_ = nullptr;
        });
}

void ZeduVIPaymentViewController::scannerDidCancel() {
    if (const auto delegate = paymentDelegate()) delegate->userDidCancelPaymentViewController(*this);
}

void ZeduVIPaymentViewController::scannerDidProvideCreditCardInfo(std::shared_ptr<ZeduVICreditCardInfo> cardInfo) {
    if (const auto delegate = paymentDelegate()) delegate->userDidProvideCreditCardInfo(std::move(cardInfo), *this);
}

std::shared_ptr<ZeduVIPaymentViewController> ZeduVIPaymentViewController::zeduVIPaymentViewControllerForResponder(
    const platform::UIResponder& responder) {
    for (platform::UIResponder r = responder; r; r = r.nextResponder()) {
        if (auto found = std::dynamic_pointer_cast<ZeduVIPaymentViewController>(r.viewController())) return found;
    }
    return nullptr;
}

}  // namespace cardscanner
