// The payment view controller: its refusal without a delegate, the first
// screen with and without a usable camera, rotation in and out of a sheet,
// the status bar around a full-screen presentation, the blurred cover while
// inactive, and its description.
#include "cardscanner/screens/ZeduVIPaymentViewController.h"

#include <gtest/gtest.h>

#include "cardscanner/results/ZeduVICreditCardInfo.h"
#include "cardscanner/form/ZeduVIDataEntryViewController.h"
#include "cardscanner/util/ZeduVIMacros.h"
#include "cardscanner/util/ZeduVIUtilities.h"
#include "cardscanner/screens/ZeduVIViewController.h"
#include "platform/capture/CaptureDevice.h"
#include "platform/capture/FrameSource.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/Application.h"
#include "platform/ui/Window.h"

using namespace cardscanner;
using namespace platform;

namespace {

struct Host : ZeduVIPaymentViewControllerDelegate {
    void userDidCancelPaymentViewController(ZeduVIPaymentViewController&) override {}
    void userDidProvideCreditCardInfo(std::shared_ptr<ZeduVICreditCardInfo>, ZeduVIPaymentViewController&) override {}
    std::string description() const override { return "<Host>"; }
};

struct BlankCamera : FrameSource {
    bool render(int, double, const Exposure&, PixelBuffer&) override { return false; }
};

constexpr unsigned long kPortrait = 1ul << UIInterfaceOrientationPortrait;

class PaymentViewControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        RunLoop::main().bindToCurrentThread();
        ZeduVIUtilities::resetRememberedCameraAnswer();
        setCameraFrameSource(std::make_shared<BlankCamera>());
        setCameraAuthorizationStatus(AVAuthorizationStatusAuthorized);
        window_ = std::make_shared<UIWindow>();
        window_->setRootViewController(root_);
        window_->makeKeyAndVisible();
    }
    void TearDown() override {
        if (root_->presentedViewController()) root_->dismissViewControllerAnimated(false);
        setCameraFrameSource(nullptr);
        setCameraAuthorizationStatus(AVAuthorizationStatusAuthorized);
        ZeduVIUtilities::resetRememberedCameraAnswer();
    }

    std::shared_ptr<ZeduVIPaymentViewController> make(bool scanning = true) {
        return ZeduVIPaymentViewController::createWithPaymentDelegate(host_, scanning);
    }

    ScopedManualClock clock_;
    std::shared_ptr<Host> host_ = std::make_shared<Host>();
    std::shared_ptr<UIViewController> root_ = std::make_shared<UIViewController>();
    std::shared_ptr<UIWindow> window_;
};

TEST_F(PaymentViewControllerTest, WithoutADelegateNothingIsMadeAndTheRefusalIsLogged) {
    LogCapture log;
    EXPECT_EQ(ZeduVIPaymentViewController::createWithPaymentDelegate(nullptr), nullptr);
    EXPECT_TRUE(log.contains("Failed to initialize ZeduVIPaymentViewController -- no delegate provided"));
}

TEST_F(PaymentViewControllerTest, TheCameraScreenComesFirstOnlyWithAUsableCameraAndScanningOn) {
    const auto scanning = make();
    ASSERT_TRUE(scanning);
    const auto camera = std::dynamic_pointer_cast<ZeduVIViewController>(scanning->topViewController());
    ASSERT_TRUE(camera);
    EXPECT_EQ(camera->context(), scanning->context());
    EXPECT_FALSE(scanning->currentViewControllerIsDataEntry());
    EXPECT_EQ(scanning->paymentDelegate(), host_);

    const auto typed = make(false);
    const auto form = std::dynamic_pointer_cast<ZeduVIDataEntryViewController>(typed->topViewController());
    ASSERT_TRUE(form);
    EXPECT_TRUE(form->manualEntry());
    EXPECT_TRUE(typed->currentViewControllerIsDataEntry());

    for (const auto status : {AVAuthorizationStatusDenied, AVAuthorizationStatusRestricted}) {
        setCameraAuthorizationStatus(status);
        const auto denied = make();
        EXPECT_TRUE(std::dynamic_pointer_cast<ZeduVIDataEntryViewController>(denied->topViewController()));
        EXPECT_TRUE(denied->currentViewControllerIsDataEntry());
        // The form rotates by the navigation controller's own rules.
        EXPECT_TRUE(denied->shouldAutorotate());
        EXPECT_EQ(denied->supportedInterfaceOrientations(),
                  denied->UINavigationController::supportedInterfaceOrientations());
    }
}

TEST_F(PaymentViewControllerTest, TheCameraScreenStaysPortraitUnlessSomeControllerUpTheChainIsASheet) {
    const auto payment = make();
    EXPECT_EQ(payment->supportedInterfaceOrientations(), kPortrait);
    EXPECT_FALSE(payment->shouldAutorotate());
    EXPECT_TRUE(payment->shouldAutorotateToInterfaceOrientation(UIInterfaceOrientationPortrait));
    EXPECT_FALSE(payment->shouldAutorotateToInterfaceOrientation(UIInterfaceOrientationLandscapeLeft));
    EXPECT_EQ(payment->supportedOverlayOrientationsMask(), 30u);

    // Full screen itself, but presented by a controller that sits in a page sheet.
    root_->setModalPresentationStyle(UIModalPresentationPageSheet);
    root_->presentViewController(payment, false);
    EXPECT_TRUE(payment->isBeingPresentedModally());
    EXPECT_EQ(payment->supportedInterfaceOrientations(), 30u);
    EXPECT_TRUE(payment->shouldAutorotateToInterfaceOrientation(UIInterfaceOrientationLandscapeLeft));
}

TEST_F(PaymentViewControllerTest, OptionsLiveInTheSharedContext) {
    const auto payment = make();
    payment->setCollectExpiry(false);
    payment->setDetectionMode(ZeduVIDetectionModeAuto);
    EXPECT_FALSE(payment->context()->collectExpiry());
    EXPECT_EQ(payment->context()->config()->detectionMode(), ZeduVIDetectionModeAuto);
    payment->setAllowFreelyRotatingCardGuide(false);
    EXPECT_EQ(payment->supportedOverlayOrientationsMask(), kPortrait);
}

TEST_F(PaymentViewControllerTest, DescriptionNamesTheDelegateTheOptionsSetAndTheDetectionMode) {
    const auto payment = make();
    EXPECT_EQ(payment->description(),
              "{delegate: <Host>; collectExpiry; collectCVV; scanExpiry; allowFreelyRotatingCardGuide; DetectNumber}");
    payment->setKeepStatusBarStyle(true);
    payment->setCollectCVV(false);
    payment->setDetectionMode(ZeduVIDetectionModeImage);
    EXPECT_EQ(payment->description(), "{delegate: <Host>; keepStatusBarStyle; collectExpiry; scanExpiry; "
                                      "allowFreelyRotatingCardGuide; DetectImage}");
}

TEST_F(PaymentViewControllerTest, SuppressedConfirmationWarnsOfTheFieldsItBlocks) {
    LogCapture log;
    const auto payment = make();
    payment->setSuppressScanConfirmation(true);
    root_->presentViewController(payment, false);
    EXPECT_TRUE(log.contains("Warning: suppressScanConfirmation blocks collectExpiry/collectCVV."));
}

TEST_F(PaymentViewControllerTest, FullScreenSetsTheStatusBarAndEveryPresentationRestoresIt) {
    auto& application = UIApplication::sharedApplication();
    application.setStatusBarStyle(UIStatusBarStyleLightContent);
    application.setStatusBarHidden(true);

    const auto sheet = make();
    sheet->setModalPresentationStyle(UIModalPresentationFormSheet);
    root_->presentViewController(sheet, false);
    EXPECT_EQ(application.statusBarStyle(), UIStatusBarStyleLightContent);
    // What the form does inside the sheet is undone when the sheet goes.
    application.setStatusBarStyle(UIStatusBarStyleDefault);
    application.setStatusBarHidden(false);
    root_->dismissViewControllerAnimated(false);
    EXPECT_EQ(application.statusBarStyle(), UIStatusBarStyleLightContent);
    EXPECT_TRUE(application.isStatusBarHidden());

    application.setStatusBarStyle(UIStatusBarStyleLightContent);
    const auto fullScreen = make();
    root_->presentViewController(fullScreen, false);
    EXPECT_EQ(application.statusBarStyle(), UIStatusBarStyleDefault);
    application.setStatusBarHidden(false);
    root_->dismissViewControllerAnimated(false);
    EXPECT_EQ(application.statusBarStyle(), UIStatusBarStyleLightContent);
    EXPECT_TRUE(application.isStatusBarHidden());
}

TEST_F(PaymentViewControllerTest, ABlurredCoverHidesTheScreenWhileInactiveAndFadesAway) {
    auto& application = UIApplication::sharedApplication();
    const auto payment = make();
    root_->presentViewController(payment, false);

    application.setApplicationState(UIApplicationState::Inactive);
    const auto cover = payment->obfuscatingView();
    ASSERT_TRUE(cover);
    EXPECT_EQ(cover->superview(), window_);
    application.setApplicationState(UIApplicationState::Active);
    EXPECT_TRUE(RunLoop::main().runUntil([&] { return payment->obfuscatingView() == nullptr; }, 2));
    EXPECT_EQ(cover->superview(), nullptr);

    payment->setDisableBlurWhenBackgrounding(true);
    application.setApplicationState(UIApplicationState::Inactive);
    EXPECT_EQ(payment->obfuscatingView(), nullptr);
    application.setApplicationState(UIApplicationState::Active);
}

}  // namespace
