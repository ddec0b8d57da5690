// The camera screen inside its payment view controller: button layout and
// rotation, overlay orientations, status bar decisions, where a scan result
// or a button press leads, and the scanner's localized strings.
#include "cardscanner/screens/ZeduVIViewController.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "cardscanner/results/ZeduVICreditCardInfo.h"
#include "cardscanner/form/ZeduVIDataEntryViewController.h"
#include "cardscanner/util/ZeduVILocalizedString.h"
#include "cardscanner/util/ZeduVIMacros.h"
#include "cardscanner/screens/ZeduVIPaymentViewController.h"
#include "cardscanner/util/ZeduVIUtilities.h"
#include "cardscanner/views/ZeduVICameraView.h"
#include "cardscanner/views/ZeduVITransitionView.h"
#include "tests/cardscanner/ScreenTestSupport.h"
#include "platform/capture/CaptureDevice.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/RunLoop.h"
#include "platform/graphics/Context.h"
#include "platform/ui/Application.h"
#include "platform/ui/Device.h"
#include "platform/ui/Render.h"
#include "platform/ui/Window.h"
#include "sim/FilmedCardSource.h"
#include "tests/platform/TemporaryDirectory.h"

using namespace cardscanner;
using namespace platform;

namespace {

using RecordingDelegate = cardscanner::testing::RecordingPaymentDelegate;

std::shared_ptr<ZeduVICreditCardInfo> cardWithNumber(const std::string& number) {
    auto info = std::make_shared<ZeduVICreditCardInfo>();
    info->setCardNumber(number);
    return info;
}

class CameraScreenTest : public ::testing::Test {
protected:
    void SetUp() override {
        previousBundle_ = Bundle::main().bundlePath();
        useInfoPlist("");
    }
    void TearDown() override {
        screen_.reset();
        payment_.reset();
        Bundle::setMain(previousBundle_);
    }

    void useInfoPlist(const std::string& entries) {
        folder_.write("App/Info.plist", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>" +
                                            entries + "</dict></plist>\n");
        Bundle::setMain(folder_.file("App"));
        ZeduVIMacros::reset();
    }

    // The screen in its payment view controller, views loaded, not in a window.
    void makeScreen(const std::function<void(ZeduVIContext&)>& configure = nullptr) {
        context_ = std::make_shared<ZeduVIContext>();
        if (configure) configure(*context_);
        screen_ = ZeduVIViewController::create();
        payment_ = ZeduVIPaymentViewController::create(context_, screen_);
        payment_->setPaymentDelegate(delegate_);
        payment_->view();
    }

    void turnDevice(UIDeviceOrientation orientation) {
        UIDevice::currentDevice().setOrientation(orientation);
        screen_->didReceiveDeviceOrientationNotification(nullptr);
    }

    std::shared_ptr<ZeduVIDataEntryViewController> pushedForm() const {
        return std::dynamic_pointer_cast<ZeduVIDataEntryViewController>(payment_->topViewController());
    }

    ScopedManualClock clock_;
    testing_support::TemporaryDirectory folder_;
    std::string previousBundle_;
    std::shared_ptr<ZeduVIContext> context_;
    std::shared_ptr<ZeduVIViewController> screen_;
    std::shared_ptr<ZeduVIPaymentViewController> payment_;
    std::shared_ptr<RecordingDelegate> delegate_ = std::make_shared<RecordingDelegate>();
};

void expectTransform(const CGAffineTransform& t, double degrees, double tx, double ty) {
    const double radians = degrees * std::numbers::pi / 180;
    EXPECT_NEAR(t.a, std::cos(radians), 1e-9);
    EXPECT_NEAR(t.b, std::sin(radians), 1e-9);
    EXPECT_NEAR(t.c, -std::sin(radians), 1e-9);
    EXPECT_NEAR(t.d, std::cos(radians), 1e-9);
    EXPECT_NEAR(t.tx, tx, 1e-9);
    EXPECT_NEAR(t.ty, ty, 1e-9);
}

}  // namespace

TEST_F(CameraScreenTest, ButtonsAreTitledSizedFromTheirTextAndWiredToTheActions) {
    makeScreen();
    const UIFont font = UIFont::boldSystemFontOfSize(18);
    const CGSize text = sizeWithFont("Enter Manually", font);
    EXPECT_EQ(screen_->manualEntryButton()->titleForState(UIControlStateNormal), "Enter Manually");
    EXPECT_EQ(screen_->manualEntryButtonFrameSize(), (CGSize{std::ceil(text.width) + 20, std::ceil(text.height) + 20}));
    EXPECT_EQ(screen_->cancelButton()->titleForState(UIControlStateNormal), "Cancel");
    EXPECT_EQ(screen_->cancelButton()->titleColorForState(UIControlStateHighlighted), UIColor::whiteColor());

    screen_->cancelButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
    EXPECT_EQ(delegate_->cancels, 1);
    EXPECT_FALSE(payment_->isNavigationBarHidden());
    EXPECT_TRUE(screen_->zeduVIView()->isHidden());
}

TEST_F(CameraScreenTest, ButtonsSitInThePreviewCornersAndTurnWithTheDevice) {
    makeScreen();
    const CGRect preview = CGRectMake(10, 20, 300, 400);
    const CGSize cancel = screen_->cancelButtonFrameSize(), manual = screen_->manualEntryButtonFrameSize();
    const double c = (cancel.width - cancel.height) / 2, m = (manual.width - manual.height) / 2;

    turnDevice(UIDeviceOrientationPortrait);  // d = 0
    screen_->layoutButtonsForCameraPreviewFrame(preview);
    EXPECT_EQ(screen_->cancelButton()->frame(), CGRectMake(15, 420 - cancel.height - 5, cancel.width, cancel.height));
    EXPECT_EQ(screen_->manualEntryButton()->frame(),
              CGRectMake(310 - manual.width - 5, 420 - manual.height - 5, manual.width, manual.height));
    expectTransform(screen_->cancelButton()->transform(), 0, 0, 0);

    turnDevice(UIDeviceOrientationPortraitUpsideDown);  // d = 180: turned, not shifted
    screen_->layoutButtonsForCameraPreviewFrame(preview);
    expectTransform(screen_->cancelButton()->transform(), -180, 0, 0);
    expectTransform(screen_->manualEntryButton()->transform(), -180, 0, 0);

    turnDevice(UIDeviceOrientationLandscapeLeft);  // 3: d = 270, shifts by the negated half-differences
    screen_->layoutButtonsForCameraPreviewFrame(preview);
    expectTransform(screen_->cancelButton()->transform(), -270, -c, -c);
    expectTransform(screen_->manualEntryButton()->transform(), -270, m, -m);
    // The frame is placed untransformed, so turning leaves it where it was.
    EXPECT_EQ(screen_->cancelButton()->frame(), CGRectMake(15, 420 - cancel.height - 5, cancel.width, cancel.height));

    turnDevice(UIDeviceOrientationLandscapeRight);  // 4: d = 90
    screen_->layoutButtonsForCameraPreviewFrame(preview);
    expectTransform(screen_->cancelButton()->transform(), -90, -c, -c);
    expectTransform(screen_->manualEntryButton()->transform(), -90, m, -m);

    UIApplication::sharedApplication().setStatusBarOrientation(UIInterfaceOrientationLandscapeRight);  // I = 450
    screen_->layoutButtonsForCameraPreviewFrame(preview);  // device 4 (270): d = 180
    expectTransform(screen_->cancelButton()->transform(), -180, 0, 0);
}

TEST_F(CameraScreenTest, LayoutWaitsForAPreviewWithAnArea) {
    makeScreen([](ZeduVIContext& context) { context.setDisableManualEntryButtons(true); });
    EXPECT_EQ(screen_->manualEntryButton(), nullptr);
    const CGRect before = screen_->cancelButton()->frame();
    screen_->layoutButtonsForCameraPreviewFrame(CGRectMake(0, 0, 320, 0));
    screen_->layoutButtonsForCameraPreviewFrame(CGRectMake(0, 0, 0, 480));
    EXPECT_EQ(screen_->cancelButton()->frame(), before);

    // Without a camera the preview is empty: the orientation is taken, the layout deferred.
    screen_->view()->layoutIfNeeded();
    ASSERT_FALSE(screen_->view()->needsLayout());
    turnDevice(UIDeviceOrientationLandscapeLeft);
    EXPECT_EQ(screen_->deviceOrientation(), 3);
    EXPECT_TRUE(screen_->view()->needsLayout());
    EXPECT_EQ(screen_->cancelButton()->frame(), before);
    EXPECT_EQ(screen_->cancelButton()->transform(), CGAffineTransformIdentity);

    screen_->layoutButtonsForCameraPreviewFrame(CGRectMake(0, 0, 320, 480));  // only the cancel button to place
    EXPECT_NE(screen_->cancelButton()->frame(), before);
}

TEST_F(CameraScreenTest, OverlayOrientationsFollowTheMaskThenThePreviousThenTheDefault) {
    makeScreen([](ZeduVIContext& context) { context.setAllowFreelyRotatingCardGuide(false); });
    EXPECT_EQ(screen_->supportedOverlayOrientationsMask(), payment_->supportedInterfaceOrientations());
    payment_->setSupportedOverlayOrientationsMask((1ul << 1) | (1ul << 2));
    EXPECT_EQ(screen_->defaultSupportedOverlayOrientation(), 1);

    // Face up on the first check: the payment view controller's initial orientation.
    payment_->setInitialInterfaceOrientationForViewcontroller(2);
    turnDevice(UIDeviceOrientationFaceUp);
    EXPECT_EQ(screen_->deviceOrientation(), 2);
    turnDevice(UIDeviceOrientationFaceDown);
    EXPECT_EQ(screen_->deviceOrientation(), 2);
    turnDevice(UIDeviceOrientationPortrait);
    EXPECT_EQ(screen_->deviceOrientation(), 1);
    EXPECT_EQ(payment_->initialInterfaceOrientationForViewcontroller(), 1);
    turnDevice(UIDeviceOrientationLandscapeLeft);  // unsupported: the previous one stays
    EXPECT_EQ(screen_->deviceOrientation(), 1);

    // Only the fourth orientation: no default, and an unsupported one stays in force.
    payment_->setSupportedOverlayOrientationsMask(1ul << 4);
    EXPECT_EQ(screen_->defaultSupportedOverlayOrientation(), 0);
    turnDevice(UIDeviceOrientationPortraitUpsideDown);
    EXPECT_EQ(screen_->deviceOrientation(), 2);

    payment_->setSupportedOverlayOrientationsMask((1ul << 3) | (1ul << 4));
    EXPECT_EQ(screen_->defaultSupportedOverlayOrientation(), 3);
    turnDevice(UIDeviceOrientationPortrait);  // neither it nor the previous one: the default
    EXPECT_EQ(screen_->deviceOrientation(), 3);

    context_->setAllowFreelyRotatingCardGuide(true);
    EXPECT_EQ(screen_->defaultSupportedOverlayOrientation(), 1);
    EXPECT_FALSE(screen_->isSupportedOverlayOrientation(-1));
    EXPECT_FALSE(screen_->isSupportedOverlayOrientation(99));

    // Outside any payment view controller every orientation is supported.
    auto alone = ZeduVIViewController::create();
    EXPECT_EQ(alone->supportedOverlayOrientationsMask(), 30u);
}

TEST_F(CameraScreenTest, HidesTheStatusBarOnlyWhereTheApplicationLetsIt) {
    UIApplication& application = UIApplication::sharedApplication();
    // The host's window decides the status bar's appearance, as in the app.
    auto window = std::make_shared<UIWindow>();
    window->setRootViewController(std::make_shared<UIViewController>());
    window->makeKeyAndVisible();
    useInfoPlist("<key>UIViewControllerBasedStatusBarAppearance</key><true/>");
    makeScreen();
    screen_->view()->layoutIfNeeded();
    EXPECT_TRUE(screen_->changeStatusBarHiddenStatus());
    payment_->viewWillAppear(false);
    payment_->viewDidAppear(false);
    EXPECT_TRUE(application.isStatusBarHidden());
    EXPECT_TRUE(payment_->isNavigationBarHidden());
    payment_->viewWillDisappear(false);
    EXPECT_FALSE(application.isStatusBarHidden());

    // Originally hidden: never changed, and the screen prefers it hidden.
    application.setStatusBarHidden(true);
    makeScreen();
    screen_->viewWillLayoutSubviews();
    EXPECT_FALSE(screen_->changeStatusBarHiddenStatus());
    EXPECT_TRUE(screen_->prefersStatusBarHidden());
    payment_->viewWillAppear(false);
    payment_->viewDidAppear(false);
    payment_->viewWillDisappear(false);
    EXPECT_TRUE(application.isStatusBarHidden());
    application.setStatusBarHidden(false);

    // Presented other than full screen.
    makeScreen();
    payment_->setModalPresentationStyle(UIModalPresentationFormSheet);
    screen_->viewWillLayoutSubviews();
    EXPECT_FALSE(screen_->changeStatusBarHiddenStatus());

    // No view-controller-based appearance declared.
    useInfoPlist("");
    makeScreen();
    screen_->viewWillLayoutSubviews();
    EXPECT_FALSE(screen_->changeStatusBarHiddenStatus());
    payment_->viewWillAppear(false);
    payment_->viewDidAppear(false);
    EXPECT_FALSE(application.isStatusBarHidden());
    payment_->viewWillDisappear(false);
}

TEST_F(CameraScreenTest, FollowsTheDeviceOnlyWhileOnScreen) {
    UIDevice& device = UIDevice::currentDevice();
    makeScreen();
    payment_->viewWillAppear(false);
    payment_->viewWillAppear(false);  // twice: still one generator
    EXPECT_FALSE(screen_->zeduVIView()->isHidden());
    EXPECT_EQ(screen_->deviceOrientation(), 1);
    device.setOrientation(UIDeviceOrientationLandscapeRight);
    EXPECT_EQ(screen_->deviceOrientation(), 4);

    payment_->viewWillDisappear(false);
    EXPECT_FALSE(device.isGeneratingDeviceOrientationNotifications());
    EXPECT_TRUE(screen_->zeduVIView()->isHidden());
    device.setOrientation(UIDeviceOrientationPortrait);
    EXPECT_EQ(screen_->deviceOrientation(), 4);
}

TEST_F(CameraScreenTest, PresentedWithoutCameraAccessTheScreenCancels) {
    setCameraAuthorizationStatus(AVAuthorizationStatusDenied);
    ZeduVIUtilities::resetRememberedCameraAnswer();
    auto window = std::make_shared<UIWindow>();
    auto host = std::make_shared<UIViewController>();
    window->setRootViewController(host);
    window->makeKeyAndVisible();
    makeScreen();
    host->presentViewController(payment_, false);
    RunLoop::main().drain();
    EXPECT_EQ(delegate_->cancels, 1);
    EXPECT_EQ(delegate_->provides, 0);
    host->dismissViewControllerAnimated(false);
    setCameraAuthorizationStatus(AVAuthorizationStatusAuthorized);
    ZeduVIUtilities::resetRememberedCameraAnswer();
}

TEST_F(CameraScreenTest, AScannedNumberIsConfirmedInTheFormUnlessSuppressed) {
    makeScreen();
    // A white card image in a guide narrower than the card's 428 x 270.
    UIGraphicsBeginImageContextWithOptions(CGSize{428, 270}, true, 1);
    CGContextSetFillColorWithColor(UIGraphicsGetCurrentContext(), UIColor::whiteColor().CGColor());
    CGContextFillRect(UIGraphicsGetCurrentContext(), CGRectMake(0, 0, 428, 270));
    const auto white = UIGraphicsGetImageFromCurrentImageContext();
    UIGraphicsEndImageContext();
    screen_->zeduVIView()->transitionView()->showCard(white, CGRectMake(19, 100, 282, 200), 1);
    auto info = cardWithNumber("4111111111111111");
    screen_->zeduVIViewDidScanCard(*screen_->zeduVIView(), info);  // system 7: present, dismiss, push
    const auto form = pushedForm();
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->cardInfo(), info);
    EXPECT_FALSE(form->manualEntry());
    EXPECT_NE(form->floatingCardWindow(), nullptr);
    // The floating card is fitted, not squeezed: 177.9 of the 200 points
    // high, with the black background above and below.
    ASSERT_NE(form->floatingCardView(), nullptr);
    const auto floating = renderViewToImage(*form->floatingCardView());
    ASSERT_NE(floating, nullptr);
    EXPECT_EQ(floating->pixelAt(141, 6)->red, 0);
    EXPECT_EQ(floating->pixelAt(141, 100)->red, 255);
    EXPECT_EQ(payment_->presentedViewController(), nullptr);
    EXPECT_TRUE(payment_->currentViewControllerIsDataEntry());
    EXPECT_EQ(delegate_->provides + delegate_->cancels, 0);

    // Without the scanned image the form still opens, in manual entry, with its floating window.
    UIDevice::currentDevice().setSystemVersion("8.0");
    ZeduVIMacros::reset();
    makeScreen([](ZeduVIContext& context) { context.setSuppressScannedCardImage(true); });
    screen_->zeduVIViewDidScanCard(*screen_->zeduVIView(), cardWithNumber("4111111111111111"));
    ASSERT_NE(pushedForm(), nullptr);
    EXPECT_TRUE(pushedForm()->manualEntry());
    EXPECT_NE(pushedForm()->floatingCardWindow(), nullptr);

    makeScreen([](ZeduVIContext& context) { context.setSuppressScanConfirmation(true); });
    payment_->setNavigationBarHidden(true, false);
    screen_->zeduVIViewDidScanCard(*screen_->zeduVIView(), info);
    EXPECT_EQ(pushedForm(), nullptr);
    EXPECT_FALSE(payment_->isNavigationBarHidden());
    EXPECT_EQ(delegate_->provides, 1);
    EXPECT_EQ(delegate_->provided, info);
}

TEST_F(CameraScreenTest, ImageOnlyScansProvideAndNumberlessScansCancel) {
    // A running automatic scan whose stream turns to the card image.
    setCameraFrameSource(std::make_shared<camera_frames::FilmedCardSource>(camera_frames::FilmedCardSource::Options{}));
    ZeduVIUtilities::resetRememberedCameraAnswer();
    auto window = std::make_shared<UIWindow>();
    auto host = std::make_shared<UIViewController>();
    window->setRootViewController(host);
    window->makeKeyAndVisible();
    makeScreen([](ZeduVIContext& context) { context.setDetectionMode(ZeduVIDetectionModeAuto); });
    host->presentViewController(payment_, false);
    RunLoop::main().runOnce();  // capture starts on the next turn
    const auto camera = screen_->zeduVIView()->cameraView();
    ASSERT_TRUE(camera);
    camera->videoStreamDidChangeDetectionMode(*camera->videoStream(), ZeduVIDetectionModeImage);
    auto imageOnly = std::make_shared<ZeduVICreditCardInfo>();
    screen_->zeduVIViewDidScanCard(*screen_->zeduVIView(), imageOnly);
    EXPECT_EQ(context_->detectionMode(), ZeduVIDetectionModeImage) << "the host sees the switch";
    EXPECT_EQ(pushedForm(), nullptr);
    EXPECT_EQ(delegate_->provides, 1);
    EXPECT_EQ(delegate_->provided, imageOnly);
    host->dismissViewControllerAnimated(false);
    setCameraFrameSource(nullptr);
    ZeduVIUtilities::resetRememberedCameraAnswer();

    makeScreen();
    screen_->zeduVIViewDidScanCard(*screen_->zeduVIView(), nullptr);
    screen_->zeduVIViewDidScanCard(*screen_->zeduVIView(), std::make_shared<ZeduVICreditCardInfo>());
    EXPECT_EQ(delegate_->cancels, 2);
    EXPECT_EQ(delegate_->provides, 1);
}

TEST_F(CameraScreenTest, ManualEntryPushesAnEmptyFormAndNothingFailsWithoutAContainer) {
    makeScreen();
    turnDevice(UIDeviceOrientationPortraitUpsideDown);
    screen_->manualEntryButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
    ASSERT_NE(pushedForm(), nullptr);
    EXPECT_TRUE(pushedForm()->manualEntry());
    EXPECT_EQ(pushedForm()->context(), context_);
    EXPECT_TRUE(payment_->currentViewControllerIsDataEntry());
    EXPECT_EQ(payment_->initialInterfaceOrientationForViewcontroller(), 2);

    auto alone = ZeduVIViewController::create();
    alone->view();
    alone->cancel();
    alone->manualEntry();
    alone->zeduVIViewDidScanCard(*alone->zeduVIView(), cardWithNumber("4111111111111111"));
    EXPECT_EQ(delegate_->cancels, 0);
}

TEST(LocalizedStringTest, FallsBackFromLocaleToLanguageToEnglishToTheKey) {
    EXPECT_EQ(localized_string("cancel", "en"), "Cancel");
    EXPECT_EQ(localized_string("manual_entry", "en_US"), "Enter Manually");
    EXPECT_EQ(localized_string("scan_guide", "en"), "Hold card here.\nIt will scan automatically.");
    EXPECT_EQ(localized_string("cancel", "fr_CA"), "Annuler");
    EXPECT_EQ(localized_string("cancel", "fr-CA"), "Annuler");
    EXPECT_EQ(localized_string("cancel", "DE"), "Abbrechen");
    EXPECT_EQ(localized_string("cancel", "xx_YY"), "Cancel");
    EXPECT_EQ(localized_string("no_such_key", "fr"), "no_such_key");

    RunLoop::main().bindToCurrentThread();
    UIDevice::currentDevice().setLocaleIdentifier("de_AT");
    EXPECT_EQ(localized_string("manual_entry", ""), "Manuell eingeben");
}
