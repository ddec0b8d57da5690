// The scan view in a window: a filmed card read through the whole camera
// path on the manual clock, the card shown before the delegate hears of it,
// hiding that stops the camera, and a device without a camera.
#include "cardscanner/views/ZeduVIView.h"

#include <gtest/gtest.h>

#include "cardscanner/views/ZeduVICameraView.h"
#include "cardscanner/results/ZeduVICreditCardInfo.h"
#include "cardscanner/views/ZeduVIShutterView.h"
#include "cardscanner/views/ZeduVITransitionView.h"
#include "cardscanner/util/ZeduVIUtilities.h"
#include "platform/capture/CaptureSession.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/Application.h"
#include "platform/ui/Device.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Window.h"
#include "sim/FilmedCardSource.h"

using namespace cardscanner;
using namespace platform;

namespace {

struct Delegate : ZeduVIViewDelegate {
    void zeduVIViewDidScanCard(ZeduVIView& view, std::shared_ptr<ZeduVICreditCardInfo> info) override {
        ++calls;
        card = std::move(info);
        transitionShown = view.transitionView()->superview() != nullptr;
        transitionImage = view.transitionView()->cardView()->image();
    }
    int calls = 0;
    bool transitionShown = false;
    std::shared_ptr<UIImage> transitionImage;
    std::shared_ptr<ZeduVICreditCardInfo> card;
};

class ScanViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        RunLoop::main().bindToCurrentThread();
        UIDevice::currentDevice().setOrientation(UIDeviceOrientationLandscapeLeft);
        ZeduVIUtilities::resetRememberedCameraAnswer();
        window->addSubview(scanView);
        scanView->setDelegate(delegate);
        scanView->UIView::setHidden(true);
    }
    void TearDown() override {
        scanView->setHidden(true);
        setCameraFrameSource(nullptr);
        ZeduVIUtilities::resetRememberedCameraAnswer();
    }

    // Frames one at a time until the delegate hears of the card or `limit` frames passed.
    int filmUntilRead(int limit) {
        auto session = scanView->cameraView()->videoStream()->captureSession();
        int frames = 0;
        while (delegate->calls == 0 && frames < limit && scanView->cameraView()) {
            session->deliverFrameNow();
            ++frames;
            RunLoop::main().runUntil([&] { return RunLoop::main().pendingTasks() == 0; }, 0.05);
        }
        RunLoop::main().runUntil([&] { return delegate->calls > 0; }, 5.0);
        return frames;
    }

    ScopedManualClock clock;
    std::shared_ptr<UIWindow> window = std::make_shared<UIWindow>(CGRect{{0, 0}, {320, 568}});
    std::shared_ptr<ZeduVIView> scanView = ZeduVIView::create(CGRect{{0, 0}, {320, 568}});
    std::shared_ptr<Delegate> delegate = std::make_shared<Delegate>();
};

TEST_F(ScanViewTest, AFilmedCardIsReadShownAndThenReported) {
    camera_frames::FilmedCardSource::Options options;
    options.seed = 7;
    auto filmed = std::make_shared<camera_frames::FilmedCardSource>(options);
    setCameraFrameSource(filmed);
    scanView->setScannedImageDuration(0.1);

    scanView->setHidden(false);
    ASSERT_NE(scanView->cameraView(), nullptr);
    scanView->cameraView()->videoStream()->captureSession()->setPacedDelivery(false);
    EXPECT_FALSE(scanView->cameraView()->isRunning()) << "capture starts on the next turn";
    RunLoop::main().runOnce();
    ASSERT_TRUE(scanView->cameraView()->isRunning());
    EXPECT_FALSE(scanView->cameraView()->shutter()->open());

    filmUntilRead(90);
    ASSERT_EQ(delegate->calls, 1);
    ASSERT_TRUE(delegate->card);
    EXPECT_EQ(delegate->card->cardNumber(), filmed->cardNumber());
    EXPECT_TRUE(delegate->card->scanned());
    ASSERT_TRUE(delegate->card->cardImage());
    EXPECT_TRUE(delegate->transitionShown) << "the card is on screen when the delegate hears of it";
    EXPECT_EQ(delegate->transitionImage, delegate->card->cardImage());
    EXPECT_EQ(scanView->transitionView()->superview(), nullptr) << "and gone after";
    EXPECT_EQ(scanView->transitionView()->cardView()->image(), nullptr) << "the number's pixels let go";
    EXPECT_FALSE(scanView->cameraView()->isRunning());
    EXPECT_FALSE(scanView->cameraView()->shutter()->open()) << "closed when capture stopped";

    scanView->setHidden(true);
    EXPECT_EQ(scanView->cameraView(), nullptr);
    EXPECT_EQ(scanView->cameraPreviewFrame(), CGRectZero);
}

TEST_F(ScanViewTest, HidingStopsTheCameraAndShowingStartsAFreshOne) {
    setCameraFrameSource(std::make_shared<camera_frames::FilmedCardSource>(camera_frames::FilmedCardSource::Options{}));
    scanView->setHidden(false);
    RunLoop::main().runOnce();
    const auto first = scanView->cameraView();
    ASSERT_TRUE(first && first->isRunning());
    const CGRect preview = scanView->cameraPreviewFrame();
    EXPECT_NEAR(preview.size.width / preview.size.height, 480.0 / 640.0, 1e-9) << "the camera's picture, turned";

    scanView->setHidden(true);
    EXPECT_FALSE(first->isRunning());
    EXPECT_EQ(first->superview(), nullptr);
    scanView->setHidden(false);
    RunLoop::main().runOnce();
    ASSERT_NE(scanView->cameraView(), first);
    EXPECT_TRUE(scanView->cameraView()->isRunning());
    EXPECT_EQ(delegate->calls, 0);
}

TEST_F(ScanViewTest, WithoutACameraTheDelegateHearsNothingWasRead) {
    setCameraFrameSource(nullptr);
    scanView->setHidden(false);
    EXPECT_EQ(delegate->calls, 1);
    EXPECT_EQ(delegate->card, nullptr);
    EXPECT_EQ(scanView->cameraView(), nullptr);
    EXPECT_EQ(scanView->scanner(), nullptr);
}

TEST(ZeduVIUtilitiesTest, TheBlurredScreenIsTheKeyWindowsSizeAndLosesItsEdges) {
    auto window = std::make_shared<UIWindow>(CGRect{{0, 0}, {120, 80}});
    window->setBackgroundColor(UIColor::whiteColor());
    auto block = std::make_shared<UIView>(CGRect{{0, 0}, {60, 80}});
    block->setBackgroundColor(UIColor::blackColor());
    window->addSubview(block);
    window->makeKeyAndVisible();
    auto blurred = ZeduVIUtilities::blurredScreenImageView();
    ASSERT_TRUE(blurred && blurred->image());
    EXPECT_EQ(blurred->bounds(), window->bounds());
    const auto edge = blurred->image()->pixelAt(60, 40);
    ASSERT_TRUE(edge);
    EXPECT_GT(edge->red, 40);
    EXPECT_LT(edge->red, 215) << "a hard black-white edge becomes a ramp";
}

}  // namespace
