// The capture stand-ins: a session films its device's frame source and hands
// frames to the delegate's queue; the device's focus, exposure and torch
// behave as optics that the session steps once per frame.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/capture/CaptureDevice.h"
#include "platform/capture/CaptureSession.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/RunLoop.h"
#include "platform/graphics/Context.h"
#include "platform/graphics/Image.h"
#include "platform/ui/Application.h"
#include "platform/ui/Device.h"

namespace platform {
namespace {

// Frame n's luma is n; its top half is white when `topWhite`.
class TestSource : public FrameSource {
public:
    bool torch = true;
    bool focus = true;
    float light = 1.0f;
    int endsAfter = -1;
    bool topWhite = false;
    std::mutex mutex;
    std::vector<Exposure> exposures;
    std::function<void()> whileRendering;

    bool render(int index, double, const Exposure& exposure, PixelBuffer& into) override {
        if (endsAfter >= 0 && index >= endsAfter) return false;
        if (whileRendering) whileRendering();
        {
            std::lock_guard lock(mutex);
            exposures.push_back(exposure);
        }
        auto luma = into.planeData(0);
        std::fill(luma.begin(), luma.end(), static_cast<std::uint8_t>(index));
        if (topWhite) std::fill(luma.begin(), luma.begin() + luma.size() / 2, 255);
        return true;
    }
    bool hasTorch() const override { return torch; }
    bool hasFocusControl() const override { return focus; }
    float sceneLight(int) const override { return light; }
};

class Recorder : public AVCaptureVideoDataOutputSampleBufferDelegate {
public:
    std::shared_ptr<SerialQueue> queue = std::make_shared<SerialQueue>("capture test");
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<int> frames;  // first luma byte of each
    std::vector<Value> exifs;
    int drops = 0;
    bool offQueue = false;
    bool hold = false;  // the next frame waits until released

    void captureOutputDidOutputSampleBuffer(AVCaptureOutput&, CMSampleBufferRef buffer, AVCaptureConnection*) override {
        std::unique_lock lock(mutex);
        offQueue = offQueue || !queue->isCurrent();
        PixelBuffer* image = CMSampleBufferGetImageBuffer(buffer);
        frames.push_back(image && image->widthOfPlane(0) == 640 && image->heightOfPlane(0) == 480 ? image->planeData(0)[0]
                                                                                                 : -1);
        exifs.push_back(CMGetAttachment(buffer, "{Exif}"));
        changed.notify_all();
        changed.wait(lock, [this] { return !hold; });
    }
    void captureOutputDidDropSampleBuffer(AVCaptureOutput&, CMSampleBufferRef buffer, AVCaptureConnection*) override {
        std::lock_guard lock(mutex);
        if (!CMSampleBufferGetImageBuffer(buffer)) ++drops;
        changed.notify_all();
    }
    void release() {
        std::lock_guard lock(mutex);
        hold = false;
        changed.notify_all();
    }
    // Waits (in real time, generously) for a condition on the recorded state.
    template <class Predicate>
    bool waitFor(Predicate done) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(20), [&] { return done(*this); });
    }
};

struct Rig {
    std::shared_ptr<TestSource> source = std::make_shared<TestSource>();
    std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
    std::shared_ptr<AVCaptureSession> session = AVCaptureSession::create();
    std::shared_ptr<AVCaptureDevice> device;
    std::shared_ptr<AVCaptureVideoDataOutput> output = AVCaptureVideoDataOutput::create();

    explicit Rig(bool paced = false) {
        setCameraFrameSource(source);
        device = AVCaptureDevice::defaultDeviceWithMediaType(AVMediaTypeVideo);
        session->setPacedDelivery(paced);
        session->beginConfiguration();
        Error error;
        session->addInput(AVCaptureDeviceInput::deviceInputWithDevice(device, &error));
        session->setSessionPreset(AVCaptureSessionPreset640x480);
        output->setAlwaysDiscardsLateVideoFrames(true);
        output->setSampleBufferDelegate(recorder, recorder->queue);
        session->addOutput(output);
        session->commitConfiguration();
    }
    ~Rig() {
        session->stopRunning();
        setCameraFrameSource(nullptr);
    }
};

TEST(CaptureSession, IsConfiguredWithOneInputAndItsOutputsBetweenBeginAndCommit) {
    Rig rig;
    EXPECT_EQ(rig.session->sessionPreset(), AVCaptureSessionPreset640x480);
    rig.session->setSessionPreset("no such preset");
    EXPECT_EQ(rig.session->sessionPreset(), AVCaptureSessionPreset640x480);
    ASSERT_EQ(rig.session->inputs().size(), 1u);
    EXPECT_EQ(rig.session->inputs()[0]->device(), rig.device);
    EXPECT_EQ(rig.session->outputs(), std::vector{rig.output});
    Error error;
    EXPECT_FALSE(rig.session->canAddInput(AVCaptureDeviceInput::deviceInputWithDevice(rig.device, &error)));
    EXPECT_FALSE(rig.session->canAddOutput(rig.output));

    // No frame is filmed while a configuration is open.
    rig.session->beginConfiguration();
    EXPECT_FALSE(rig.session->deliverFrameNow());
    rig.session->commitConfiguration();
    EXPECT_TRUE(rig.session->deliverFrameNow());

    rig.session->removeInput(rig.session->inputs()[0]);
    rig.output->setSampleBufferDelegate({}, nullptr);
    rig.session->removeOutput(rig.output);
    EXPECT_TRUE(rig.session->inputs().empty());
    EXPECT_TRUE(rig.session->outputs().empty());
    EXPECT_FALSE(rig.session->deliverFrameNow());
}

TEST(CaptureSession, AccessAndTheCameraItselfDecideWhetherThereIsAnInput) {
    Rig rig;
    Error error;
    setCameraAuthorizationStatus(AVAuthorizationStatusDenied);
    EXPECT_EQ(AVCaptureDeviceInput::deviceInputWithDevice(rig.device, &error), nullptr);
    EXPECT_EQ(error.code, AVErrorApplicationIsNotAuthorizedToUseDevice);
    setCameraAuthorizationStatus(AVAuthorizationStatusAuthorized);
    EXPECT_NE(AVCaptureDeviceInput::deviceInputWithDevice(rig.device, &error), nullptr);

    EXPECT_EQ(AVCaptureDevice::defaultDeviceWithMediaType("soun"), nullptr);
    setCameraFrameSource(nullptr);
    EXPECT_EQ(AVCaptureDevice::defaultDeviceWithMediaType(AVMediaTypeVideo), nullptr);
    EXPECT_EQ(AVCaptureDeviceInput::deviceInputWithDevice(nullptr, &error), nullptr);
    EXPECT_EQ(error.code, AVErrorDeviceNotConnected);
}

TEST(CaptureSession, DeliversFramesInOrderOnTheDelegatesQueueWithTheirExif) {
    Rig rig;
    rig.source->light = 0.2f;
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(rig.session->deliverFrameNow());
    std::lock_guard lock(rig.recorder->mutex);
    EXPECT_EQ(rig.recorder->frames, (std::vector<int>{0, 1, 2}));
    EXPECT_FALSE(rig.recorder->offQueue);
    const Value& exif = rig.recorder->exifs.back();
    EXPECT_EQ(exif["ISOSpeedRatings"][std::size_t{0}].integerValue(), 800);
    EXPECT_NEAR(exif["ShutterSpeedValue"].doubleValue(), std::log2(30.0), 1e-6);
    EXPECT_EQ(rig.session->lastFrame()->planeData(0)[0], 2);
}

TEST(CaptureSession, FilmsAtThirtyFramesASecondOfTheClockAndDropsLateFrames) {
    ScopedManualClock clock;
    Rig rig(true);
    rig.recorder->hold = true;
    rig.session->startRunning();
    EXPECT_TRUE(rig.session->isRunning());
    ASSERT_TRUE(rig.recorder->waitFor([](Recorder& r) { return r.frames.size() == 1; }));

    // The queue is still busy with frame 0: the next frames are dropped.
    for (int i = 0; i < 3; ++i) {
        clock->advance(1.0 / 30);
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
    rig.recorder->release();
    ASSERT_TRUE(rig.recorder->waitFor([](Recorder& r) { return r.drops >= 1; }));
    clock->advance(1.0 / 30);
    ASSERT_TRUE(rig.recorder->waitFor([](Recorder& r) { return r.frames.size() == 2; }));

    rig.session->stopRunning();
    EXPECT_FALSE(rig.session->isRunning());
    std::size_t delivered;
    {
        std::lock_guard lock(rig.recorder->mutex);
        delivered = rig.recorder->frames.size();
        // Frame indices count the dropped frames too.
        EXPECT_GT(rig.recorder->frames[1], 1);
    }
    for (int i = 0; i < 3; ++i) {
        clock->advance(1.0 / 30);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    auto drained = std::make_shared<std::promise<void>>();
    rig.recorder->queue->async([drained] { drained->set_value(); });
    drained->get_future().wait();
    std::lock_guard lock(rig.recorder->mutex);
    EXPECT_EQ(rig.recorder->frames.size(), delivered);
}

TEST(CaptureSession, StopsFilmingWhenItsSourceEnds) {
    Rig rig;
    rig.source->endsAfter = 1;
    EXPECT_TRUE(rig.session->deliverFrameNow());
    EXPECT_FALSE(rig.session->deliverFrameNow());
    EXPECT_FALSE(rig.session->deliverFrameNow());
}

// Scenario waits take the camera's frames for time: two sessions filming
// together count once, another taking over once the counted one is silent.
TEST(CaptureSession, SessionsFilmingTogetherCountTheCamerasFramesOnce) {
    ScopedManualClock clock;
    Rig first, second;
    const std::uint64_t start = cameraFilming().framesRendered;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(first.session->deliverFrameNow());
        ASSERT_TRUE(second.session->deliverFrameNow());
        clock->advance(1 / kCameraFramesPerSecond);
    }
    EXPECT_EQ(cameraFilming().framesRendered - start, 3u);
    clock->advance(0.5);  // the first renders nothing for half a second: the second takes over
    ASSERT_TRUE(second.session->deliverFrameNow());
    ASSERT_TRUE(first.session->deliverFrameNow());
    EXPECT_EQ(cameraFilming().framesRendered - start, 4u);
    second.session->stopRunning();
    ASSERT_TRUE(first.session->deliverFrameNow());
    EXPECT_EQ(cameraFilming().framesRendered - start, 5u);
}

// Two filming threads may hand over their frames in another order than they
// stamped them: a frame of the session not counted, stamped before the
// counted one's last, is no sign that the counted one fell silent.
TEST(CaptureSession, AFrameStampedBeforeTheCountedSessionsLastIsNotCounted) {
    ScopedManualClock clock;
    Rig first, second;
    const std::uint64_t start = cameraFilming().framesRendered;
    ASSERT_TRUE(first.session->deliverFrameNow());
    second.source->whileRendering = [&] {  // the second's frame is stamped; the first films a later one
        clock->advance(1 / kCameraFramesPerSecond);
        EXPECT_TRUE(first.session->deliverFrameNow());
    };
    ASSERT_TRUE(second.session->deliverFrameNow());
    EXPECT_EQ(cameraFilming().framesRendered - start, 2u);
    clock->advance(1 / kCameraFramesPerSecond);
    ASSERT_TRUE(first.session->deliverFrameNow());  // the count stayed with the first
    EXPECT_EQ(cameraFilming().framesRendered - start, 3u);
}

TEST(CaptureDevice, OneShotAutofocusBringsTheLensInOverSixFramesAndReportsIt) {
    ScopedManualClock clock;
    Rig rig;
    std::vector<bool> reports;
    rig.device->addObserverForKeyPath("adjustingFocus", true,
                                      [&](const std::string&, bool adjusting) { reports.push_back(adjusting); });
    EXPECT_EQ(reports, std::vector<bool>{false});
    EXPECT_EQ(rig.device->focusMode(), AVCaptureFocusModeContinuousAutoFocus);
    EXPECT_DOUBLE_EQ(rig.device->lensDefocus(), 1.0);

    Error error;
    ASSERT_TRUE(rig.device->lockForConfiguration(&error));
    rig.device->setFocusMode(AVCaptureFocusModeAutoFocus);
    rig.device->unlockForConfiguration();
    EXPECT_EQ(reports, (std::vector<bool>{false, true}));
    EXPECT_TRUE(rig.device->isAdjustingFocus());

    for (int frame = 0; frame < 6; ++frame) {
        ASSERT_TRUE(rig.session->deliverFrameNow());
        EXPECT_EQ(rig.device->isAdjustingFocus(), frame < 5) << frame;
    }
    EXPECT_EQ(reports, (std::vector<bool>{false, true, false}));
    EXPECT_EQ(rig.device->focusMode(), AVCaptureFocusModeLocked);
    std::lock_guard lock(rig.source->mutex);
    ASSERT_EQ(rig.source->exposures.size(), 6u);
    EXPECT_GT(rig.source->exposures[0].lensDefocus, rig.source->exposures[4].lensDefocus);
    EXPECT_DOUBLE_EQ(rig.source->exposures[5].lensDefocus, 0.0);
}

TEST(CaptureDevice, ContinuousAutofocusDriftsInOverAboutTwoSeconds) {
    Rig rig;
    for (int frame = 0; frame < 30; ++frame) rig.device->advanceFrame(frame);
    EXPECT_NEAR(rig.device->lensDefocus(), 0.5, 0.02);
    for (int frame = 30; frame < 61; ++frame) rig.device->advanceFrame(frame);
    EXPECT_DOUBLE_EQ(rig.device->lensDefocus(), 0.0);
}

TEST(CaptureDevice, TheTorchAndFocusSettersNeedTheConfigurationLock) {
    Rig rig;
    LogCapture log;
    Error error;
    rig.device->setTorchMode(AVCaptureTorchModeOn);
    EXPECT_EQ(rig.device->torchMode(), AVCaptureTorchModeOff);
    EXPECT_FALSE(rig.device->setTorchModeOnWithLevel(0.05f, &error));
    rig.device->setFocusPointOfInterest({0.2, 0.2});
    EXPECT_EQ(rig.device->focusPointOfInterest(), (CGPoint{0.5, 0.5}));
    EXPECT_TRUE(log.contains("setTorchMode without lockForConfiguration ignored"));

    // Another thread holds the lock.
    std::thread other([&] { EXPECT_TRUE(rig.device->lockForConfiguration(nullptr)); });
    other.join();
    EXPECT_FALSE(rig.device->lockForConfiguration(&error));
    EXPECT_EQ(error.code, AVErrorDeviceLockedForConfigurationByAnotherProcess);
    setCameraFrameSource(rig.source);  // a fresh device
    rig.device = AVCaptureDevice::defaultDeviceWithMediaType(AVMediaTypeVideo);
    rig.device->setRefusesConfigurationLock(true);
    EXPECT_FALSE(rig.device->lockForConfiguration(&error));
    rig.device->setRefusesConfigurationLock(false);

    ASSERT_TRUE(rig.device->lockForConfiguration(&error));
    EXPECT_FALSE(rig.device->setTorchModeOnWithLevel(0.0f, &error));
    EXPECT_FALSE(rig.device->setTorchModeOnWithLevel(1.5f, &error));
    EXPECT_EQ(rig.device->torchMode(), AVCaptureTorchModeOff);
    EXPECT_FLOAT_EQ(rig.device->torchLevel(), 0.0f);
    EXPECT_TRUE(rig.device->setTorchModeOnWithLevel(0.05f, &error));
    rig.device->setAutoFocusRangeRestriction(AVCaptureAutoFocusRangeRestrictionNear);
    rig.device->setFocusPointOfInterest({0.25, 0.75});
    rig.device->unlockForConfiguration();
    EXPECT_EQ(rig.device->torchMode(), AVCaptureTorchModeOn);
    EXPECT_FLOAT_EQ(rig.device->torchLevel(), 0.05f);
    EXPECT_EQ(rig.device->autoFocusRangeRestriction(), AVCaptureAutoFocusRangeRestrictionNear);
    EXPECT_EQ(rig.device->focusPointOfInterest(), (CGPoint{0.25, 0.75}));
}

TEST(CaptureDevice, AutoExposureRaisesTheISOInTheDarkAndTheTorchLowersIt) {
    Rig rig;
    std::vector<bool> reports;
    rig.device->addObserverForKeyPath("adjustingExposure", false,
                                      [&](const std::string&, bool adjusting) { reports.push_back(adjusting); });
    rig.device->advanceFrame(0);
    EXPECT_FLOAT_EQ(rig.device->ISO(), 50.0f);
    rig.source->light = 0.25f;
    rig.device->advanceFrame(1);
    EXPECT_TRUE(rig.device->isAdjustingExposure());
    const float dark = rig.device->ISO();
    EXPECT_GT(dark, 700.0f);
    EXPECT_GT(rig.device->exposureDuration(), 1.0 / 40);
    for (int frame = 2; frame < 10; ++frame) rig.device->advanceFrame(frame);
    EXPECT_FALSE(rig.device->isAdjustingExposure());
    EXPECT_EQ(reports, (std::vector<bool>{true, false}));

    ASSERT_TRUE(rig.device->lockForConfiguration(nullptr));
    ASSERT_TRUE(rig.device->setTorchModeOnWithLevel(0.05f, nullptr));
    rig.device->unlockForConfiguration();
    const FrameSource::Exposure lit = rig.device->advanceFrame(10);
    EXPECT_TRUE(lit.torchOn);
    EXPECT_LT(lit.iso, dark);
    // Still above the stream's 250: a dark scene lit by a weak torch keeps it on.
    EXPECT_GT(lit.iso, 250.0f);
}

TEST(CaptureDevice, ASourceWithoutTorchOrFocusControlSaysSo) {
    Rig rig;
    rig.source->torch = false;
    rig.source->focus = false;
    setCameraFrameSource(rig.source);
    auto device = AVCaptureDevice::defaultDeviceWithMediaType(AVMediaTypeVideo);
    EXPECT_FALSE(device->hasTorch());
    EXPECT_FALSE(device->isTorchModeSupported(AVCaptureTorchModeOn));
    EXPECT_FALSE(device->isTorchModeSupported(AVCaptureTorchModeOff));
    EXPECT_FALSE(device->isTorchAvailable());
    EXPECT_FALSE(device->setTorchModeOnWithLevel(0.5f, nullptr));
    EXPECT_TRUE(device->isFocusModeSupported(AVCaptureFocusModeLocked));
    EXPECT_FALSE(device->isFocusModeSupported(AVCaptureFocusModeAutoFocus));
    EXPECT_FALSE(device->isFocusModeSupported(AVCaptureFocusModeContinuousAutoFocus));
    EXPECT_FALSE(device->isAutoFocusRangeRestrictionSupported());
    EXPECT_FALSE(device->isFocusPointOfInterestSupported());
    EXPECT_EQ(device->focusMode(), AVCaptureFocusModeLocked);
    ASSERT_TRUE(device->lockForConfiguration(nullptr));
    device->setFocusMode(AVCaptureFocusModeAutoFocus);
    device->unlockForConfiguration();
    EXPECT_FALSE(device->isAdjustingFocus());
    EXPECT_DOUBLE_EQ(device->advanceFrame(0).lensDefocus, 0.0);
}

TEST(CaptureVideoPreviewLayer, ShowsTheLastFrameTurnedForAPortraitStatusBar) {
    Rig rig;
    rig.source->topWhite = true;
    ASSERT_TRUE(rig.session->deliverFrameNow());
    auto layer = AVCaptureVideoPreviewLayer::create(rig.session);
    layer->setBounds({{0, 0}, {120, 160}});
    UIApplication::sharedApplication().setStatusBarOrientation(UIInterfaceOrientationPortrait);
    UIGraphicsBeginImageContextWithOptions({120, 160}, true, 1);
    layer->renderInContext(UIGraphicsGetCurrentContext());
    auto image = UIGraphicsGetImageFromCurrentImageContext();
    UIGraphicsEndImageContext();
    ASSERT_NE(image, nullptr);
    // The frame's top (white) is on the screen's right.
    EXPECT_GT(image->pixelAt(110, 80)->green, 200);
    EXPECT_LT(image->pixelAt(10, 80)->green, 30);
}

TEST(DeviceOrientation, ChangesArePostedOnTheMainThreadOnlyWhileGenerated) {
    UIDevice& device = UIDevice::currentDevice();
    device.reset();
    EXPECT_EQ(device.orientation(), UIDeviceOrientationPortrait);
    int posts = 0;
    NotificationCenter::defaultCenter().addObserver(&posts, UIDeviceOrientationDidChangeNotification, &device,
                                                    [&](const Notification&) {
                                                        EXPECT_TRUE(RunLoop::isMainThread());
                                                        ++posts;
                                                    });
    device.setOrientation(UIDeviceOrientationLandscapeLeft);
    EXPECT_EQ(posts, 0);

    device.beginGeneratingDeviceOrientationNotifications();
    device.beginGeneratingDeviceOrientationNotifications();
    device.endGeneratingDeviceOrientationNotifications();
    EXPECT_TRUE(device.isGeneratingDeviceOrientationNotifications());
    device.setOrientation(UIDeviceOrientationFaceUp);
    EXPECT_EQ(posts, 1);
    std::thread other([&] { device.setOrientation(UIDeviceOrientationPortraitUpsideDown); });
    other.join();
    EXPECT_EQ(posts, 1);
    RunLoop::main().drain();
    EXPECT_EQ(posts, 2);
    EXPECT_EQ(device.orientation(), UIDeviceOrientationPortraitUpsideDown);

    device.endGeneratingDeviceOrientationNotifications();
    device.endGeneratingDeviceOrientationNotifications();  // unbalanced: ignored
    EXPECT_FALSE(device.isGeneratingDeviceOrientationNotifications());
    device.setOrientation(UIDeviceOrientationLandscapeRight);
    EXPECT_EQ(posts, 2);
    NotificationCenter::defaultCenter().removeObserver(&posts);
    device.reset();
    EXPECT_EQ(device.orientation(), UIDeviceOrientationPortrait);
}

}  // namespace
}  // namespace platform
