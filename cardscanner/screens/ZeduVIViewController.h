#pragma once
// ZeduVIViewController is the camera screen: the scan view, a cancel and
// (unless disabled) a manual-entry button in the preview's bottom corners,
// turned with the device so their titles stay upright, and a soft shadow
// around the preview. It hides the navigation bar and, where the application
// lets it, the status bar, scans while it is on screen, and turns a reported
// card into the confirmation form pushed over it or a call of the payment
// delegate.
//
// Main thread only: life cycle, device notifications, button actions and the
// scan view's report all arrive there. Its host (ZeduVIScannerHost) is the
// ZeduVIPaymentViewController it sits in; without one, the calls meant for
// it are skipped and the defaults answer.

#include <memory>
#include <string>

#include "cardscanner/context/ZeduVIContext.h"
#include "cardscanner/views/ZeduVIView.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/graphics/Layer.h"
#include "platform/ui/Button.h"
#include "platform/ui/ViewController.h"

namespace cardscanner {

class ZeduVIScannerHost;

class ZeduVIViewController : public platform::UIViewController, public ZeduVIViewDelegate {
public:
    ZeduVIViewController();
    ~ZeduVIViewController() override;
    // A null context gets the default options.
    explicit ZeduVIViewController(std::shared_ptr<ZeduVIContext> context);
    static std::shared_ptr<ZeduVIViewController> create(std::shared_ptr<ZeduVIContext> context = nullptr) {
        return std::make_shared<ZeduVIViewController>(std::move(context));
    }

    // Never nullptr. A screen made elsewhere is given its host's context
    // before its view loads.
    const std::shared_ptr<ZeduVIContext>& context() const { return context_; }
    void setContext(std::shared_ptr<ZeduVIContext> context);

    const std::shared_ptr<ZeduVIView>& zeduVIView() const { return zeduVIView_; }
    const std::shared_ptr<platform::CALayer>& shadowLayer() const { return shadowLayer_; }
    const std::shared_ptr<platform::UIButton>& cancelButton() const { return cancelButton_; }
    const std::shared_ptr<platform::UIButton>& manualEntryButton() const { return manualEntryButton_; }
    platform::CGSize cancelButtonFrameSize() const { return cancelButtonFrameSize_; }
    platform::CGSize manualEntryButtonFrameSize() const { return manualEntryButtonFrameSize_; }
    // The device orientation (1..4) the buttons are laid out for; 0 before the first check.
    long deviceOrientation() const { return deviceOrientation_; }
    bool statusBarWasOriginallyHidden() const { return statusBarWasOriginallyHidden_; }
    bool changeStatusBarHiddenStatus() const { return changeStatusBarHiddenStatus_; }
    bool newStatusBarHiddenStatus() const { return newStatusBarHiddenStatus_; }

    void viewDidLoad() override;
    void viewWillLayoutSubviews() override;
    void viewDidLayoutSubviews() override;
    void viewWillAppear(bool animated) override;
    void viewDidAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;

    // Whatever the navigation controller answers.
    bool shouldAutorotateToInterfaceOrientation(platform::UIInterfaceOrientation orientation) override;
    bool shouldAutorotate() override;
    unsigned long supportedInterfaceOrientations() override;

    bool prefersStatusBarHidden() override;
    long preferredStatusBarStyle() override { return platform::UIStatusBarStyleLightContent; }

    unsigned long supportedOverlayOrientationsMask();
    bool isSupportedOverlayOrientation(long orientation);
    long defaultSupportedOverlayOrientation();

    // The notification is not read; nullptr is fine.
    void didReceiveDeviceOrientationNotification(const platform::Notification* notification);
    void layoutButtonsForCameraPreviewFrame(platform::CGRect frame);
    using Action = void (ZeduVIViewController::*)();
    std::shared_ptr<platform::UIButton> makeButtonWithTitle(const std::string& title, Action action);

    void cancel();
    void manualEntry();

    void zeduVIViewDidScanCard(ZeduVIView& view, std::shared_ptr<ZeduVICreditCardInfo> cardInfo) override;

private:
    std::shared_ptr<ZeduVIScannerHost> host();
    // The host's rotation rules and orientation follow the form about to be pushed.
    void handOverToDataEntry();
    // The form pushed over this screen; below system 8 after an empty
    // controller is presented and dismissed, as that system needs.
    void pushDataEntry(std::shared_ptr<platform::UIViewController> form, bool animated);
    void updateStatusBar(bool hidden);

    std::shared_ptr<ZeduVIContext> context_;
    std::shared_ptr<ZeduVIView> zeduVIView_;
    std::shared_ptr<platform::CALayer> shadowLayer_;
    std::shared_ptr<platform::UIButton> cancelButton_;
    std::shared_ptr<platform::UIButton> manualEntryButton_;
    platform::CGSize cancelButtonFrameSize_;
    platform::CGSize manualEntryButtonFrameSize_;
    long deviceOrientation_ = 0;
    bool statusBarWasOriginallyHidden_;
    bool changeStatusBarHiddenStatus_ = false;
    bool newStatusBarHiddenStatus_ = false;
    bool scanViewShownOutsideWindow_ = false;
};

}  // namespace cardscanner
