#include "cardscanner/ZeduVIPaymentViewController.h"

#include "cardscanner/ZeduVIDataEntryViewController.h"
#include "cardscanner/ZeduVIViewController.h"
#include "platform/ui/Application.h"

namespace cardscanner {

ZeduVIPaymentViewController::ZeduVIPaymentViewController(std::shared_ptr<ZeduVIContext> context,
                                                         std::shared_ptr<platform::UIViewController> rootViewController)
    : UINavigationController(rootViewController),
      context_(context ? std::move(context) : std::make_shared<ZeduVIContext>()),
      currentViewControllerIsDataEntry_(
          std::dynamic_pointer_cast<ZeduVIDataEntryViewController>(rootViewController) != nullptr),
      initialInterfaceOrientation_(platform::UIApplication::sharedApplication().statusBarOrientation()) {
    if (const auto camera = std::dynamic_pointer_cast<ZeduVIViewController>(rootViewController)) {
        camera->setContext(context_);
    }
}

std::shared_ptr<ZeduVIPaymentViewController> ZeduVIPaymentViewController::create(
    std::shared_ptr<ZeduVIContext> context, std::shared_ptr<platform::UIViewController> rootViewController) {
    auto controller = std::make_shared<ZeduVIPaymentViewController>(std::move(context), rootViewController);
    // The root learns its parent now rather than when the view first loads.
    controller->initWithRootViewController(std::move(rootViewController));
    return controller;
}

unsigned long ZeduVIPaymentViewController::supportedOverlayOrientationsMask() {
    if (overlayMask_) return *overlayMask_;
    if (context_->allowFreelyRotatingCardGuide()) return 30;
    return supportedInterfaceOrientations();
}

std::shared_ptr<ZeduVIPaymentViewController> ZeduVIPaymentViewController::zeduVIPaymentViewControllerForResponder(
    const platform::UIResponder& responder) {
    for (platform::UIResponder r = responder; r; r = r.nextResponder()) {
        if (auto found = std::dynamic_pointer_cast<ZeduVIPaymentViewController>(r.viewController())) return found;
    }
    return nullptr;
}

}  // namespace cardscanner
