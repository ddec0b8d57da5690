#pragma once
// The card scanner's public controller, as far as it exists so far: a
// navigation controller holding the scanner's screens, the options they
// share (context), the delegate they report to, and the orientation facts
// the camera screen reads and writes. It never dismisses itself: its
// delegate does, on either call.
//
// Main thread only. The delegate is held weakly and called on the main thread.

#include <memory>
#include <optional>

#include "cardscanner/ZeduVIContext.h"
#include "platform/ui/UINavigationController.h"

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
};

class ZeduVIPaymentViewController : public platform::UINavigationController {
public:
    // A camera screen as root is given the context; nullptr makes a default one.
    ZeduVIPaymentViewController(std::shared_ptr<ZeduVIContext> context,
                                std::shared_ptr<platform::UIViewController> rootViewController);
    static std::shared_ptr<ZeduVIPaymentViewController> create(
        std::shared_ptr<ZeduVIContext> context, std::shared_ptr<platform::UIViewController> rootViewController);

    std::shared_ptr<ZeduVIPaymentViewControllerDelegate> paymentDelegate() const { return paymentDelegate_.lock(); }
    void setPaymentDelegate(std::weak_ptr<ZeduVIPaymentViewControllerDelegate> delegate) {
        paymentDelegate_ = std::move(delegate);
    }
    const std::shared_ptr<ZeduVIContext>& context() const { return context_; }

    bool currentViewControllerIsDataEntry() const { return currentViewControllerIsDataEntry_; }
    void setCurrentViewControllerIsDataEntry(bool isDataEntry) { currentViewControllerIsDataEntry_ = isDataEntry; }
    // The status bar orientation at creation, then whatever the screens set.
    long initialInterfaceOrientationForViewcontroller() const { return initialInterfaceOrientation_; }
    void setInitialInterfaceOrientationForViewcontroller(long orientation) {
        initialInterfaceOrientation_ = orientation;
    }

    // Mask of 1 << orientation for the guide overlay: 30 (all four) while the
    // context allows a freely rotating guide, else the supported interface
    // orientations; a value set here wins.
    unsigned long supportedOverlayOrientationsMask();
    void setSupportedOverlayOrientationsMask(std::optional<unsigned long> mask) { overlayMask_ = mask; }

    // The first ZeduVIPaymentViewController on the responder chain from
    // `responder` (itself first); nullptr when the chain ends without one.
    static std::shared_ptr<ZeduVIPaymentViewController> zeduVIPaymentViewControllerForResponder(
        const platform::UIResponder& responder);

private:
    std::shared_ptr<ZeduVIContext> context_;
    std::weak_ptr<ZeduVIPaymentViewControllerDelegate> paymentDelegate_;
    bool currentViewControllerIsDataEntry_ = false;
    long initialInterfaceOrientation_ = 0;
    std::optional<unsigned long> overlayMask_;
};

}  // namespace cardscanner
