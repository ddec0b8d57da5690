#pragma once
// The card scanner's public entry: a navigation controller that a host
// presents to read one payment card. It picks the first screen (the camera
// screen, or the manual-entry form when there is no usable camera or
// scanning is off), shares one ZeduVIContext of options with both screens,
// looks after the status bar while shown, covers the screen with a blurred
// snapshot while the application is inactive, and names the delegate the
// screens report to. It never dismisses itself: its delegate does, on either
// call.
//
// Main thread only. The delegate is held weakly and called on the main thread.

#include <memory>
#include <optional>
#include <string>

#include "cardscanner/context/ZeduVIContext.h"
#include "cardscanner/context/ZeduVIScannerHost.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Responder.h"

namespace cardscanner {

class ZeduVICreditCardInfo;
class ZeduVIPaymentViewController;

class ZeduVIPaymentViewControllerDelegate {
public:
    virtual ~ZeduVIPaymentViewControllerDelegate() = default;
    // The user ended without a card.
    virtual void userDidCancelPaymentViewController(ZeduVIPaymentViewController& paymentViewController) = 0;
    // A card was read or entered; in image-only detection the record may be nullptr.
    virtual void userDidProvideCreditCardInfo(std::shared_ptr<ZeduVICreditCardInfo> cardInfo,
                                              ZeduVIPaymentViewController& paymentViewController) = 0;
    // What the controller's description says of its delegate.
    virtual std::string description() const { return "ZeduVIPaymentViewControllerDelegate"; }
};

class ZeduVIPaymentViewController : public platform::UINavigationController, public ZeduVIScannerHost {
public:
    // nullptr (and "Failed to initialize ZeduVIPaymentViewController -- no
    // delegate provided" logged) without a delegate. The first screen is the
    // camera screen when scanning is enabled and the camera can read cards,
    // else the manual-entry form.
    static std::shared_ptr<ZeduVIPaymentViewController> createWithPaymentDelegate(
        const std::shared_ptr<ZeduVIPaymentViewControllerDelegate>& delegate, bool scanningEnabled = true);

    // A controller around a screen made elsewhere (the simulator's camera
    // step, tests); a camera screen as root is given the context, nullptr
    // makes a default one. The delegate is set afterwards.
    static std::shared_ptr<ZeduVIPaymentViewController> create(
        std::shared_ptr<ZeduVIContext> context, std::shared_ptr<platform::UIViewController> rootViewController);

    // The first screen for these options: a new camera screen, or a new
    // manual-entry form (manualEntry set) made with the status bar's state.
    static std::shared_ptr<platform::UIViewController> viewControllerWithScanningEnabled(
        bool scanningEnabled, const std::shared_ptr<ZeduVIContext>& context);

    // Use create… instead; public only for std::make_shared.
    ZeduVIPaymentViewController(std::shared_ptr<ZeduVIContext> context,
                                std::shared_ptr<platform::UIViewController> rootViewController);
    ~ZeduVIPaymentViewController() override;

    std::shared_ptr<ZeduVIPaymentViewControllerDelegate> paymentDelegate() const { return paymentDelegate_.lock(); }
    void setPaymentDelegate(std::weak_ptr<ZeduVIPaymentViewControllerDelegate> delegate) {
        paymentDelegate_ = std::move(delegate);
    }
    const std::shared_ptr<ZeduVIContext>& context() const { return context_; }

    bool currentViewControllerIsDataEntry() const { return currentViewControllerIsDataEntry_; }
    void setCurrentViewControllerIsDataEntry(bool isDataEntry) override {
        currentViewControllerIsDataEntry_ = isDataEntry;
    }
    // The status bar orientation at creation, then whatever the screens set
    // (the context's orientation model).
    long initialInterfaceOrientationForViewcontroller() const { return context_->orientation().interfaceOrientation(); }
    void setInitialInterfaceOrientationForViewcontroller(long orientation) {
        context_->orientation().setInterfaceOrientation(orientation);
    }

    // The options, stored in the shared context only.
    bool collectCVV() const { return context_->collectCVV(); }
    void setCollectCVV(bool value) { context_->setCollectCVV(value); }
    bool collectExpiry() const { return context_->collectExpiry(); }
    void setCollectExpiry(bool value) { context_->setCollectExpiry(value); }
    bool collectPostalCode() const { return context_->collectPostalCode(); }
    void setCollectPostalCode(bool value) { context_->setCollectPostalCode(value); }
    bool scanExpiry() const { return context_->scanExpiry(); }
    void setScanExpiry(bool value) { context_->setScanExpiry(value); }
    bool allowFreelyRotatingCardGuide() const { return context_->allowFreelyRotatingCardGuide(); }
    void setAllowFreelyRotatingCardGuide(bool value) { context_->setAllowFreelyRotatingCardGuide(value); }
    bool keepStatusBarStyle() const { return context_->keepStatusBarStyle(); }
    void setKeepStatusBarStyle(bool value) { context_->setKeepStatusBarStyle(value); }
    bool disableBlurWhenBackgrounding() const { return context_->disableBlurWhenBackgrounding(); }
    void setDisableBlurWhenBackgrounding(bool value) { context_->setDisableBlurWhenBackgrounding(value); }
    bool suppressScanConfirmation() const { return context_->suppressScanConfirmation(); }
    void setSuppressScanConfirmation(bool value) { context_->setSuppressScanConfirmation(value); }
    bool suppressScannedCardImage() const { return context_->suppressScannedCardImage(); }
    void setSuppressScannedCardImage(bool value) { context_->setSuppressScannedCardImage(value); }
    bool maskManualEntryDigits() const { return context_->maskManualEntryDigits(); }
    void setMaskManualEntryDigits(bool value) { context_->setMaskManualEntryDigits(value); }
    bool disableManualEntryButtons() const { return context_->disableManualEntryButtons(); }
    void setDisableManualEntryButtons(bool value) { context_->setDisableManualEntryButtons(value); }
    bool useZeduVILogo() const { return context_->useZeduVILogo(); }
    void setUseZeduVILogo(bool value) { context_->setUseZeduVILogo(value); }
    bool hideZeduVILogo() const { return context_->hideZeduVILogo(); }
    void setHideZeduVILogo(bool value) { context_->setHideZeduVILogo(value); }
    long navigationBarStyle() const { return context_->navigationBarStyle(); }
    void setNavigationBarStyle(long value) { context_->setNavigationBarStyle(value); }
    const std::optional<platform::UIColor>& navigationBarTintColor() const { return context_->navigationBarTintColor(); }
    void setNavigationBarTintColor(std::optional<platform::UIColor> color) {
        context_->setNavigationBarTintColor(color);
    }
    const std::optional<platform::UIColor>& guideColor() const { return context_->guideColor(); }
    void setGuideColor(std::optional<platform::UIColor> color) { context_->setGuideColor(color); }
    const std::string& languageOrLocale() const { return context_->languageOrLocale(); }
    void setLanguageOrLocale(std::string value) { context_->setLanguageOrLocale(std::move(value)); }
    const std::string& scanInstructions() const { return context_->scanInstructions(); }
    void setScanInstructions(std::string value) { context_->setScanInstructions(std::move(value)); }
    const std::shared_ptr<platform::UIView>& scanOverlayView() const { return context_->scanOverlayView(); }
    void setScanOverlayView(std::shared_ptr<platform::UIView> view) { context_->setScanOverlayView(std::move(view)); }
    ZeduVIDetectionMode detectionMode() const { return context_->detectionMode(); }
    void setDetectionMode(long long mode) { context_->setDetectionMode(mode); }
    const std::shared_ptr<ZeduVIAnalytics>& scanReport() const { return context_->scanReport(); }

    // Mask of 1 << orientation for the guide overlay: 30 (all four) while the
    // context allows a freely rotating guide, else the supported interface
    // orientations; a value set here wins.
    unsigned long supportedOverlayOrientationsMask() override;
    void setSupportedOverlayOrientationsMask(std::optional<unsigned long> mask) { overlayMask_ = mask; }
    bool disablesAutomaticKeyboardDismissal() const { return false; }

    // In a form or page sheet anywhere up the presenting or parent chain.
    bool isBeingPresentedModally() const;
    bool shouldAutorotate() override;
    bool shouldAutorotateToInterfaceOrientation(platform::UIInterfaceOrientation orientation) override;
    unsigned long supportedInterfaceOrientations() override;

    // "{delegate: D; <each option set>; DetectNumber|DetectImage|DetectAuto}".
    std::string description() const;

    void viewWillAppear(bool animated) override;
    void viewDidAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    void didReceiveBackgroundingNotification();
    void didReceiveForegroundingNotification();
    // The blurred cover while the application is inactive; nullptr otherwise.
    const std::shared_ptr<platform::UIImageView>& obfuscatingView() const { return obfuscatingView_; }

    // ZeduVIScannerHost: the delegate's calls with this controller.
    void scannerDidCancel() override;
    void scannerDidProvideCreditCardInfo(std::shared_ptr<ZeduVICreditCardInfo> cardInfo) override;

    // The first ZeduVIPaymentViewController on the responder chain from
    // `responder` (itself first); nullptr when the chain ends without one.
    static std::shared_ptr<ZeduVIPaymentViewController> zeduVIPaymentViewControllerForResponder(
        const platform::UIResponder& responder);

private:
    // The stack is this controller's own choice: a host may not replace it.
    using UINavigationController::initWithRootViewController;
    // The navigation controller's own supported orientations.
    unsigned long navigationOrientations();

    std::shared_ptr<ZeduVIContext> context_;
    std::weak_ptr<ZeduVIPaymentViewControllerDelegate> paymentDelegate_;
    bool currentViewControllerIsDataEntry_ = false;
    std::optional<unsigned long> overlayMask_;
    bool shouldStoreStatusBarStyle_ = true;
    long originalStatusBarStyle_ = 0;
    bool statusBarWasOriginallyHidden_ = false;
    std::shared_ptr<platform::UIImageView> obfuscatingView_;
    bool hasAddedObservers_ = false;
    bool askingTopScreen_ = false;
};

}  // namespace cardscanner
