#include "cardscanner/capture/ZeduVIVideoStream.h"

#include <algorithm>
#include <future>
#include <utility>

#include "cardscanner/analysis/ZeduVICardScanner.h"
#include "cardscanner/context/ZeduVIContext.h"
#include "cardscanner/capture/ZeduVIDevice.h"
#include "cardscanner/analysis/ZeduVIVideoFrame.h"
#include "cardscanner/gpu/ZeduVIGPUTransformFilter.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/ApplicationNotifications.h"
#include "platform/ui/Device.h"
#include "platform/ui/ViewController.h"

namespace cardscanner {

using namespace platform;

namespace {

constexpr const char* kAdjustingFocus = "adjustingFocus";
constexpr const char* kAdjustingExposure = "adjustingExposure";
constexpr const char* kCaptureQueueLabel = "cardscanner.capture";

}  // namespace

std::shared_ptr<ZeduVIVideoStream> ZeduVIVideoStream::create() {
    return createWithFilterFactory(gpu_transform_filter_factory());
}

std::shared_ptr<ZeduVIVideoStream> ZeduVIVideoStream::createWithFilterFactory(TransformFilterFactory factory) {
    return std::make_shared<ZeduVIVideoStream>(std::move(factory));
}

ZeduVIVideoStream::ZeduVIVideoStream(TransformFilterFactory factory)
    : config_(std::make_shared<ZeduVIContext>()),
      scanner_(std::make_shared<ZeduVICardScanner>()),
      captureSession_(AVCaptureSession::create()),
      camera_(AVCaptureDevice::defaultDeviceWithMediaType(AVMediaTypeVideo)) {
    previewLayer_ = AVCaptureVideoPreviewLayer::create(captureSession_);
    reco_ = reco_context_create(std::move(factory));
}

ZeduVIVideoStream::~ZeduVIVideoStream() {
    stopSession();
    if (observingNotifications_) NotificationCenter::defaultCenter().removeObserver(this);
    if (listenedContext_) listenedContext_->orientation().removeListener(this);
    reco_context_destroy(reco_);
    reco_ = nullptr;
    std::lock_guard lock(mutex_);
    release(captureQueue_);
}

std::shared_ptr<ZeduVIContext> ZeduVIVideoStream::config() const {
    std::lock_guard lock(mutex_);
    return config_;
}

void ZeduVIVideoStream::setConfig(std::shared_ptr<ZeduVIContext> config) {
    std::lock_guard lock(mutex_);
    config_ = config ? std::move(config) : std::make_shared<ZeduVIContext>();
}

ZeduVIDetectionMode ZeduVIVideoStream::detectionMode() const {
    const long long own = detectionMode_.load();
    return own >= 0 ? static_cast<ZeduVIDetectionMode>(own) : config()->detectionMode();
}

std::shared_ptr<SerialQueue> ZeduVIVideoStream::captureQueue() const {
    std::lock_guard lock(mutex_);
    return captureQueue_;
}

void ZeduVIVideoStream::willAppear() {
    platform::assertMainThread("ZeduVIVideoStream::willAppear");
    NotificationCenter& center = NotificationCenter::defaultCenter();
    // Registered once however often the view appears: a second backgrounding
    // call would forget that the session ran.
    center.removeObserver(this);
    const std::weak_ptr<ZeduVIVideoStream> weakSelf = weak_from_this();
    center.addObserver(this, UIApplicationWillResignActiveNotification, nullptr, [weakSelf](const Notification&) {
        if (auto self = weakSelf.lock()) self->didReceiveBackgroundingNotification();
    });
    center.addObserver(this, UIApplicationDidBecomeActiveNotification, nullptr, [weakSelf](const Notification&) {
        if (auto self = weakSelf.lock()) self->didReceiveForegroundingNotification();
    });
    const auto context = config();
    if (listenedContext_ && listenedContext_ != context) listenedContext_->orientation().removeListener(this);
    listenedContext_ = context;
    context->orientation().addListener(this, [weakSelf] {
        if (auto self = weakSelf.lock()) self->didReceiveDeviceOrientationNotification(nullptr);
    });
    observingNotifications_ = true;
    didEndGeneratingDeviceOrientationNotifications_ = false;
    didReceiveDeviceOrientationNotification(nullptr);
}

void ZeduVIVideoStream::willDisappear() {
    didEndGeneratingDeviceOrientationNotifications_ = true;
    NotificationCenter::defaultCenter().removeObserver(this);
    if (listenedContext_) listenedContext_->orientation().removeListener(this);
    listenedContext_ = nullptr;
}

bool ZeduVIVideoStream::changeCameraConfiguration(const std::function<void()>& block) {
    if (!camera_) return false;
    cameraConfigurationSemaphore_.acquire();
    captureSession_->beginConfiguration();
    Error error;
    const bool locked = camera_->lockForConfiguration(&error);
    if (locked) {
        if (block) block();
        camera_->unlockForConfiguration();
    }
    captureSession_->commitConfiguration();
    cameraConfigurationSemaphore_.release();
    return locked;
}

bool ZeduVIVideoStream::hasTorch() const {
    return camera_ && camera_->hasTorch() && camera_->isTorchModeSupported(AVCaptureTorchModeOn) &&
           camera_->isTorchModeSupported(AVCaptureTorchModeOff) && camera_->isTorchAvailable();
}

bool ZeduVIVideoStream::canSetTorchLevel() const {
    return camera_ && camera_->hasTorch() && camera_->respondsToSetTorchModeOnWithLevel();
}

bool ZeduVIVideoStream::torchIsOn() const {
    return camera_ && camera_->torchMode() == AVCaptureTorchModeOn;
}

bool ZeduVIVideoStream::setTorchOn(bool on) {
    return changeCameraConfiguration(
        [this, on] { camera_->setTorchMode(on ? AVCaptureTorchModeOn : AVCaptureTorchModeOff); });
}

bool ZeduVIVideoStream::setTorchModeOnWithLevel(float level) {
    bool accepted = false;
    const bool configured = changeCameraConfiguration([&] {
        Error error;
        accepted = camera_->setTorchModeOnWithLevel(level, &error);
    });
    return configured && accepted;
}

bool ZeduVIVideoStream::hasAutofocus() const {
    return camera_ && camera_->isFocusModeSupported(AVCaptureFocusModeAutoFocus);
}

void ZeduVIVideoStream::autofocusOnce() {
    changeCameraConfiguration([this] {
        if (camera_->isFocusModeSupported(AVCaptureFocusModeAutoFocus))
            camera_->setFocusMode(AVCaptureFocusModeAutoFocus);
    });
}

void ZeduVIVideoStream::resumeContinuousAutofocusing() {
    changeCameraConfiguration([this] {
        if (camera_->isFocusModeSupported(AVCaptureFocusModeContinuousAutoFocus))
            camera_->setFocusMode(AVCaptureFocusModeContinuousAutoFocus);
    });
}

void ZeduVIVideoStream::refocus() {
    platform::assertMainThread("ZeduVIVideoStream::refocus");
    autofocusOnce();
    scheduleResumeContinuousAutofocusing();
}

void ZeduVIVideoStream::scheduleResumeContinuousAutofocusing() {
    RunLoop::main().after(kResumeContinuousAutofocusDelay, [weakSelf = weak_from_this()] {
        if (auto self = weakSelf.lock()) self->resumeContinuousAutofocusing();
    });
}

bool ZeduVIVideoStream::addInputAndOutput() {
    Error error;
    auto input = AVCaptureDeviceInput::deviceInputWithDevice(camera_, &error);
    if (!input) return false;
    cameraInput_ = input;
    captureSession_->addInput(cameraInput_);
    captureSession_->setSessionPreset(AVCaptureSessionPreset640x480);

    videoOutput_ = AVCaptureVideoDataOutput::create();
    if (ZeduVIDevice::shouldSetPixelFormat())
        videoOutput_->setVideoSettings(
            Dictionary{{kCVPixelBufferPixelFormatTypeKey, kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange}});
    videoOutput_->setAlwaysDiscardsLateVideoFrames(true);
    auto queue = std::make_shared<SerialQueue>(kCaptureQueueLabel);
    {
        std::lock_guard lock(mutex_);
        release(captureQueue_);
        captureQueue_ = queue;
    }
    videoOutput_->setSampleBufferDelegate(weak_from_this(), queue);
    captureSession_->addOutput(videoOutput_);
    return true;
}

void ZeduVIVideoStream::removeInputAndOutput() {
    if (cameraInput_) captureSession_->removeInput(cameraInput_);
    if (videoOutput_) {
        videoOutput_->setSampleBufferDelegate({}, nullptr);
        captureSession_->removeOutput(videoOutput_);
    }
    cameraInput_.reset();
    videoOutput_.reset();
}

void ZeduVIVideoStream::startSession() {
    platform::assertMainThread("ZeduVIVideoStream::startSession");
    if (running_.load()) return;
    if (!addInputAndOutput()) return;

    const std::weak_ptr<ZeduVIVideoStream> weakSelf = weak_from_this();
    auto observer = [weakSelf](const std::string& keyPath, bool value) {
        if (auto self = weakSelf.lock()) self->observeValueForKeyPath(keyPath, value);
    };
    focusObservation_ = camera_->addObserverForKeyPath(kAdjustingFocus, true, observer);
    exposureObservation_ = camera_->addObserverForKeyPath(kAdjustingExposure, true, observer);

    captureSession_->startRunning();
    changeCameraConfiguration([this] {
        if (camera_->respondsToAutoFocusRangeRestriction() && camera_->isAutoFocusRangeRestrictionSupported())
            camera_->setAutoFocusRangeRestriction(AVCaptureAutoFocusRangeRestrictionNear);
        if (camera_->respondsToFocusPointOfInterest() && camera_->isFocusPointOfInterestSupported())
            camera_->setFocusPointOfInterest(CGPoint{0.5, 0.5});
    });
    running_.store(true);
}

void ZeduVIVideoStream::stopSession() {
    if (!running_.load()) return;
    changeCameraConfiguration([this] {
        if (camera_->respondsToAutoFocusRangeRestriction() && camera_->isAutoFocusRangeRestrictionSupported())
            camera_->setAutoFocusRangeRestriction(AVCaptureAutoFocusRangeRestrictionNone);
    });

    cameraConfigurationSemaphore_.acquire();
    if (!running_.load()) {  // stopped meanwhile on another thread
        cameraConfigurationSemaphore_.release();
        return;
    }
    camera_->removeObserver(exposureObservation_);
    camera_->removeObserver(focusObservation_);
    focusObservation_ = exposureObservation_ = 0;
    captureSession_->stopRunning();
    removeInputAndOutput();
    running_.store(false);
    cameraConfigurationSemaphore_.release();

    // Outside the semaphore: a frame still running may be waiting for it.
    std::shared_ptr<SerialQueue> queue;
    {
        std::lock_guard lock(mutex_);
        queue = std::exchange(captureQueue_, nullptr);
    }
    if (queue && !queue->isCurrent()) drain(queue);
    release(queue);
}

void ZeduVIVideoStream::drain(const std::shared_ptr<SerialQueue>& queue) {
    std::promise<void> drained;
    std::future<void> done = drained.get_future();
    queue->async([&drained] { drained.set_value(); });
    done.wait();
}

void ZeduVIVideoStream::release(std::shared_ptr<SerialQueue>& queue) {
    if (queue && queue->isCurrent()) RunLoop::main().post([last = std::move(queue)] {});
    queue.reset();
}

void ZeduVIVideoStream::captureOutputDidOutputSampleBuffer(AVCaptureOutput&, CMSampleBufferRef buffer,
                                                           AVCaptureConnection*) {
    platform::assertOnSerialQueue(kCaptureQueueLabel, "ZeduVIVideoStream::captureOutputDidOutputSampleBuffer");
    const std::shared_ptr<ZeduVIContext> config = this->config();
    auto frame = std::make_shared<ZeduVIVideoFrame>(CMSampleBufferGetImageBuffer(buffer), interfaceOrientation());
    frame->setScanner(scanner_);
    frame->setReco(reco_);
    frame->setScanExpiry(config->readsExpiry());
    frame->setDetectionMode(detectionMode());

    if (!running_.load()) return;
    // A buffer without an image has nothing to analyse.
    if (frame->buffer() == nullptr) return;

    long isoSpeed = kMissingISOSpeed;
    const bool adjustingFocus = currentlyAdjustingFocus_.load();
    if (!adjustingFocus) {
        if (canSetTorchLevel()) {
            frame->setCalculateBrightness(true);
            frame->setTorchIsOn(torchIsOn());
        }
        const Value exif = CMGetAttachment(buffer, kCGImagePropertyExifDictionary);
        float shutterSpeed = 0;
        if (exif.isDictionary()) {
            isoSpeed = static_cast<long>(exif[kCGImagePropertyExifISOSpeedRatings][std::size_t{0}].integerValue());
            shutterSpeed = static_cast<float>(exif[kCGImagePropertyExifShutterSpeedValue].doubleValue());
        }
        frame->setIsoSpeed(isoSpeed);
        frame->setShutterSpeed(shutterSpeed);
        frame->process();

        if (frame->cardY() && frame->detectionMode() == ZeduVIDetectionModeAuto &&
            scanner_->scanSessionAnalytics()->num_frames_scanned > 100) {
            detectionMode_.store(ZeduVIDetectionModeImage);
            frame->setDetectionMode(ZeduVIDetectionModeImage);
            frame->process();
            RunLoop::main().post([weakSelf = weak_from_this()] {
                if (auto self = weakSelf.lock()) self->reportDetectionMode(ZeduVIDetectionModeImage);
            });
        }
    }
    // The buffer goes back to the camera when this call returns.
    frame->setBuffer(nullptr);

    RunLoop::main().post([weakSelf = weak_from_this(), frame] {
        if (auto self = weakSelf.lock()) self->sendFrameToDelegate(frame);
    });
    if (adjustingFocus) return;

    bool refocused = false;
    if (!currentlyAdjustingFocus_.load() && frame->focusSucks() && hasAutofocus()) {
        const double now = platform::clock().now();
        if (now - lastAutoFocusOnceTime_ > kAutofocusSpacingSeconds) {
            lastAutoFocusOnceTime_ = now;
            autofocusOnce();
            scheduleResumeContinuousAutofocusing();
            refocused = true;
        }
    }
    if (currentlyAdjustingFocus_.load() || refocused || currentlyAdjustingExposure_.load() || !canSetTorchLevel())
        return;
    steerTorch(*frame, isoSpeed);
}

void ZeduVIVideoStream::steerTorch(const ZeduVIVideoFrame& frame, long isoSpeed) {
    platform::assertOnSerialQueue(kCaptureQueueLabel, "ZeduVIVideoStream::steerTorch");
    enum class Wish { None, Off, On };
    const bool torchOn = torchIsOn();
    Wish wish = Wish::None;
    if (frame.brightnessHigh() && torchOn)
        wish = Wish::Off;
    else if (!frame.brightnessHigh() && !frame.brightnessLow() && torchOn && isoSpeed < kTorchISOThreshold)
        wish = Wish::Off;
    else if (frame.brightnessLow() && !frame.brightnessHigh() && !torchOn && isoSpeed > kTorchISOThreshold)
        wish = Wish::On;

    const double now = platform::clock().now();
    if (wish == Wish::None) {
        lastChangeSignal_ = kNoTorchWish;
        return;
    }
    const bool wishesOff = wish == Wish::Off;
    if (wishesOff != lastChangeTorchStateToOFF_) {
        lastChangeSignal_ = now;
        lastChangeTorchStateToOFF_ = wishesOff;
    } else if (lastChangeSignal_ != kNoTorchWish && now - lastChangeSignal_ > kTorchWishHoldSeconds) {
        // Cleared first: the wish is spent whether or not the camera obeys.
        lastChangeSignal_ = kNoTorchWish;
        if (wishesOff)
            setTorchOn(false);
        else
            setTorchModeOnWithLevel(kTorchLevel);
    } else {
        lastChangeSignal_ = std::min(lastChangeSignal_, now);
    }
}

void ZeduVIVideoStream::sendFrameToDelegate(std::shared_ptr<ZeduVIVideoFrame> frame) {
    platform::assertMainThread("ZeduVIVideoStream::sendFrameToDelegate");
    if (!running_.load()) return;
    if (auto delegate = delegate_.lock()) delegate->videoStreamDidProcessFrame(*this, std::move(frame));
}

void ZeduVIVideoStream::reportDetectionMode(ZeduVIDetectionMode mode) {
    platform::assertMainThread("ZeduVIVideoStream::reportDetectionMode");
    if (auto delegate = delegate_.lock()) delegate->videoStreamDidChangeDetectionMode(*this, mode);
}

void ZeduVIVideoStream::observeValueForKeyPath(const std::string& keyPath, bool newValue) {
    if (keyPath == kAdjustingFocus)
        currentlyAdjustingFocus_.store(newValue);
    else if (keyPath == kAdjustingExposure)
        currentlyAdjustingExposure_.store(newValue);
}

void ZeduVIVideoStream::didReceiveDeviceOrientationNotification(const Notification*) {
    platform::assertMainThread("ZeduVIVideoStream::didReceiveDeviceOrientationNotification");
    const long current = interfaceOrientation();
    // A device lying flat says nothing of how it is held: the screens
    // remember the orientation they were last laid out in.
    const long initial = initialInterfaceOrientationProvider_ ? initialInterfaceOrientationProvider_()
                                                              : config()->orientation().interfaceOrientation();
    const auto delegate = delegate_.lock();
    const bool asks = delegate && delegate->respondsToOverlayOrientationQueries();
    const long orientation = ZeduVIOrientation::resolve(
        current, initial, [&](long o) { return !asks || delegate->isSupportedOverlayOrientation(o); },
        asks ? delegate->defaultSupportedOverlayOrientation() : 0);
    if (orientation != current) interfaceOrientation_.store(orientation);
}

void ZeduVIVideoStream::didReceiveBackgroundingNotification() {
    platform::assertMainThread("ZeduVIVideoStream::didReceiveBackgroundingNotification");
    wasRunningBeforeBeingBackgrounded_ = running();
    // stopSession drains the capture queue, so no frame is warping while the
    // filter finishes its work.
    stopSession();
    reco_prepare_for_backgrounding(reco_);
}

void ZeduVIVideoStream::didReceiveForegroundingNotification() {
    platform::assertMainThread("ZeduVIVideoStream::didReceiveForegroundingNotification");
    if (wasRunningBeforeBeingBackgrounded_) startSession();
}

}  // namespace cardscanner
