#include "platform/capture/CaptureDevice.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <vector>

#include "platform/foundation/Log.h"
#include "platform/foundation/NeverDestroyed.h"

namespace platform {
namespace {

constexpr const char* kAdjustingFocus = "adjustingFocus";
constexpr const char* kAdjustingExposure = "adjustingExposure";

struct Camera {
    std::mutex mutex;
    std::shared_ptr<FrameSource> source;
    std::shared_ptr<AVCaptureDevice> device;
};

Camera& camera() {
    // Reset to no camera. Sessions still running hold their own device and
    // source, so dropping these references stops nothing under a worker.
    static NeverDestroyed<Camera> instance{ResetStage::Services, [](Camera& c) {
        std::shared_ptr<FrameSource> source;
        std::shared_ptr<AVCaptureDevice> device;
        std::lock_guard lock(c.mutex);
        source.swap(c.source);
        device.swap(c.device);
    }};
    return *instance;
}

std::atomic<long>& authorizationStatus() {
    static NeverDestroyed<std::atomic<long>> status{
        ResetStage::Services, [](std::atomic<long>& s) { s = AVAuthorizationStatusAuthorized; },
        AVAuthorizationStatusAuthorized};
    return *status;
}

void setError(Error* error, int code, std::string description) {
    if (error) *error = Error{AVFoundationErrorDomain, code, std::move(description), {}};
}

}  // namespace

void setCameraFrameSource(std::shared_ptr<FrameSource> source) {
    auto device = source ? std::make_shared<AVCaptureDevice>(source) : nullptr;
    std::lock_guard lock(camera().mutex);
    camera().source = std::move(source);
    camera().device = std::move(device);
}

std::shared_ptr<FrameSource> cameraFrameSource() {
    std::lock_guard lock(camera().mutex);
    return camera().source;
}

void setCameraAuthorizationStatus(AVAuthorizationStatus status) { authorizationStatus().store(status); }

std::shared_ptr<AVCaptureDevice> AVCaptureDevice::defaultDeviceWithMediaType(const std::string& mediaType) {
    if (mediaType != AVMediaTypeVideo) return nullptr;
    std::lock_guard lock(camera().mutex);
    return camera().device;
}

AVAuthorizationStatus AVCaptureDevice::authorizationStatusForMediaType(const std::string& mediaType) {
    if (mediaType != AVMediaTypeVideo) return AVAuthorizationStatusAuthorized;
    return static_cast<AVAuthorizationStatus>(authorizationStatus().load());
}

AVCaptureDevice::AVCaptureDevice(std::shared_ptr<FrameSource> source)
    : source_(std::move(source)),
      hasFocusControl_(source_ && source_->hasFocusControl()),
      hasTorch_(source_ && source_->hasTorch()),
      focusMode_(hasFocusControl_ ? AVCaptureFocusModeContinuousAutoFocus : AVCaptureFocusModeLocked),
      defocus_(hasFocusControl_ ? 1.0 : 0.0) {}

bool AVCaptureDevice::hasMediaType(const std::string& mediaType) const { return mediaType == AVMediaTypeVideo; }

bool AVCaptureDevice::lockForConfiguration(Error* error) {
    std::lock_guard lock(mutex_);
    if (refusesLock_) {
        setError(error, AVErrorDeviceLockedForConfigurationByAnotherProcess, "The device could not be locked.");
        return false;
    }
    if (lockDepth_ > 0 && lockHolder_ != std::this_thread::get_id()) {
        setError(error, AVErrorDeviceLockedForConfigurationByAnotherProcess,
                 "The device is locked for configuration by another client.");
        return false;
    }
    lockHolder_ = std::this_thread::get_id();
    ++lockDepth_;
    return true;
}

void AVCaptureDevice::unlockForConfiguration() {
    std::lock_guard lock(mutex_);
    if (lockDepth_ > 0 && lockHolder_ == std::this_thread::get_id() && --lockDepth_ == 0) lockHolder_ = {};
}

void AVCaptureDevice::setRefusesConfigurationLock(bool refuses) {
    std::lock_guard lock(mutex_);
    refusesLock_ = refuses;
}

bool AVCaptureDevice::heldByCaller() const { return lockDepth_ > 0 && lockHolder_ == std::this_thread::get_id(); }

bool AVCaptureDevice::refuseUnlocked(const char* what) const {
    if (heldByCaller()) return false;
    logf("capture device: %s without lockForConfiguration ignored", what);
    return true;
}

bool AVCaptureDevice::isFocusModeSupported(AVCaptureFocusMode mode) const {
    if (mode == AVCaptureFocusModeLocked) return true;
    return hasFocusControl_ &&
           (mode == AVCaptureFocusModeAutoFocus || mode == AVCaptureFocusModeContinuousAutoFocus);
}

AVCaptureFocusMode AVCaptureDevice::focusMode() const {
    std::lock_guard lock(mutex_);
    return focusMode_;
}

void AVCaptureDevice::setFocusMode(AVCaptureFocusMode mode) {
    if (!isFocusModeSupported(mode)) {
        logf("capture device: focus mode %ld not supported", static_cast<long>(mode));
        return;
    }
    bool startsScan = false;
    {
        std::lock_guard lock(mutex_);
        if (refuseUnlocked("setFocusMode")) return;
        focusMode_ = mode;
        if (mode == AVCaptureFocusModeAutoFocus) {
            // A one-shot scan always restarts: the lens hunts from where it is.
            focusScanFramesLeft_ = kFocusScanFrames;
            focusScanStep_ = defocus_ / kFocusScanFrames;
            startsScan = !adjustingFocus_;
            adjustingFocus_ = true;
        }
    }
    if (startsScan) tell(kAdjustingFocus, true);
}

bool AVCaptureDevice::isAutoFocusRangeRestrictionSupported() const { return hasFocusControl_; }

AVCaptureAutoFocusRangeRestriction AVCaptureDevice::autoFocusRangeRestriction() const {
    std::lock_guard lock(mutex_);
    return rangeRestriction_;
}

void AVCaptureDevice::setAutoFocusRangeRestriction(AVCaptureAutoFocusRangeRestriction restriction) {
    if (!isAutoFocusRangeRestrictionSupported()) {
        log("capture device: autofocus range restriction not supported");
        return;
    }
    std::lock_guard lock(mutex_);
    if (refuseUnlocked("setAutoFocusRangeRestriction")) return;
    rangeRestriction_ = restriction;
}

bool AVCaptureDevice::isFocusPointOfInterestSupported() const { return hasFocusControl_; }

CGPoint AVCaptureDevice::focusPointOfInterest() const {
    std::lock_guard lock(mutex_);
    return focusPoint_;
}

void AVCaptureDevice::setFocusPointOfInterest(CGPoint point) {
    if (!isFocusPointOfInterestSupported()) {
        log("capture device: focus point of interest not supported");
        return;
    }
    std::lock_guard lock(mutex_);
    if (refuseUnlocked("setFocusPointOfInterest")) return;
    focusPoint_ = {std::clamp(point.x, 0.0, 1.0), std::clamp(point.y, 0.0, 1.0)};
}

bool AVCaptureDevice::isAdjustingFocus() const {
    std::lock_guard lock(mutex_);
    return adjustingFocus_;
}

double AVCaptureDevice::lensDefocus() const {
    std::lock_guard lock(mutex_);
    return defocus_;
}

bool AVCaptureDevice::isAdjustingExposure() const {
    std::lock_guard lock(mutex_);
    return adjustingExposure_;
}

float AVCaptureDevice::ISO() const {
    std::lock_guard lock(mutex_);
    return iso_;
}

double AVCaptureDevice::exposureDuration() const {
    std::lock_guard lock(mutex_);
    return exposureDuration_;
}

bool AVCaptureDevice::hasTorch() const { return hasTorch_; }

bool AVCaptureDevice::isTorchModeSupported(AVCaptureTorchMode mode) const {
    return hasTorch() && mode >= AVCaptureTorchModeOff && mode <= AVCaptureTorchModeAuto;
}

bool AVCaptureDevice::isTorchAvailable() const { return hasTorch(); }

AVCaptureTorchMode AVCaptureDevice::torchMode() const {
    std::lock_guard lock(mutex_);
    return torchMode_;
}

void AVCaptureDevice::setTorchMode(AVCaptureTorchMode mode) {
    if (!isTorchModeSupported(mode)) {
        logf("capture device: torch mode %ld not supported", static_cast<long>(mode));
        return;
    }
    std::lock_guard lock(mutex_);
    if (refuseUnlocked("setTorchMode")) return;
    torchMode_ = mode;
}

float AVCaptureDevice::torchLevel() const {
    std::lock_guard lock(mutex_);
    return torchMode_ == AVCaptureTorchModeOff ? 0.0f : torchLevel_;
}

bool AVCaptureDevice::setTorchModeOnWithLevel(float level, Error* error) {
    if (!hasTorch()) {
        setError(error, AVErrorDeviceNotConnected, "The device has no torch.");
        return false;
    }
    if (!(level > 0.0f && level <= AVCaptureMaxAvailableTorchLevel)) {
        setError(error, AVErrorInvalidTorchLevel, "The torch level is out of range.");
        return false;
    }
    std::lock_guard lock(mutex_);
    if (refuseUnlocked("setTorchModeOnWithLevel")) {
        setError(error, AVErrorDeviceLockedForConfigurationByAnotherProcess, "The device is not locked for configuration.");
        return false;
    }
    torchMode_ = AVCaptureTorchModeOn;
    torchLevel_ = level;
    return true;
}

AVCaptureDevice::Token AVCaptureDevice::addObserverForKeyPath(const std::string& keyPath, bool initial,
                                                             Observer observer) {
    Token token;
    {
        std::lock_guard lock(tellMutex_);
        token = observers_.add(keyPath, observer);
    }
    if (initial && observer) {
        bool value = false;
        if (keyPath == kAdjustingFocus)
            value = isAdjustingFocus();
        else if (keyPath == kAdjustingExposure)
            value = isAdjustingExposure();
        else
            return token;
        observer(keyPath, value);
    }
    return token;
}

void AVCaptureDevice::removeObserver(Token token) {
    std::lock_guard lock(tellMutex_);
    observers_.remove(token);
}

void AVCaptureDevice::tell(const std::string& keyPath, bool value) {
    std::vector<Token> tokens;
    {
        std::lock_guard lock(tellMutex_);
        tokens = observers_.tokensWhere([&](const std::string& path) { return path == keyPath; });
    }
    for (Token token : tokens) {
        std::string path;
        Observer observer;
        {
            std::lock_guard lock(tellMutex_);
            if (!observers_.find(token, path, observer)) continue;
        }
        if (observer) observer(path, value);
    }
}

FrameSource::Exposure AVCaptureDevice::advanceFrame(int frameIndex) {
    const float scene = source_ ? std::max(0.0f, source_->sceneLight(frameIndex)) : 0.0f;
    bool focusSettled = false;
    bool exposureChanged = false;
    bool adjustingExposure = false;
    FrameSource::Exposure exposure;
    {
        std::lock_guard lock(mutex_);
        if (focusScanFramesLeft_ > 0) {
            defocus_ = --focusScanFramesLeft_ == 0 ? 0.0 : std::max(0.0, defocus_ - focusScanStep_);
            if (focusScanFramesLeft_ == 0) {
                adjustingFocus_ = false;
                focusSettled = true;
                if (focusMode_ == AVCaptureFocusModeAutoFocus) focusMode_ = AVCaptureFocusModeLocked;
            }
        } else if (focusMode_ == AVCaptureFocusModeContinuousAutoFocus) {
            defocus_ = std::max(0.0, defocus_ - kContinuousFocusStep);
        }

        const bool torchOn = torchMode_ == AVCaptureTorchModeOn && hasTorch_;
        const float light = scene + (torchOn ? torchLevel_ * kTorchLightPerLevel : 0.0f);
        const bool markedChange =
            meteredLight_ >= 0 && std::fabs(light - meteredLight_) > kExposureChangeThreshold * std::max(meteredLight_, 0.05f);
        meteredLight_ = light;
        if (markedChange) {
            exposureSettleFramesLeft_ = kExposureSettleFrames;
            if (!adjustingExposure_) exposureChanged = true;
            adjustingExposure_ = true;
        } else if (exposureSettleFramesLeft_ > 0 && --exposureSettleFramesLeft_ == 0) {
            adjustingExposure_ = false;
            exposureChanged = true;
        }
        const float darkness =
            std::clamp((kFullLight - light) / (kFullLight - kDimmestMeteredLight), 0.0f, 1.0f);
        iso_ = kMinISO + darkness * (kMaxISO - kMinISO);
        exposureDuration_ = 1.0 / 120 + darkness * (1.0 / kCameraFramesPerSecond - 1.0 / 120);

        adjustingExposure = adjustingExposure_;
        exposure.lensDefocus = defocus_;
        exposure.torchOn = torchOn;
        exposure.torchLevel = torchOn ? torchLevel_ : 0.0f;
        exposure.iso = iso_;
        exposure.exposureDuration = exposureDuration_;
    }
    if (focusSettled) tell(kAdjustingFocus, false);
    if (exposureChanged) tell(kAdjustingExposure, adjustingExposure);
    return exposure;
}

std::shared_ptr<AVCaptureDeviceInput> AVCaptureDeviceInput::deviceInputWithDevice(
    std::shared_ptr<AVCaptureDevice> device, Error* error) {
    if (!device) {
        setError(error, AVErrorDeviceNotConnected, "No camera is connected.");
        return nullptr;
    }
    const AVAuthorizationStatus status = AVCaptureDevice::authorizationStatusForMediaType(AVMediaTypeVideo);
    if (status == AVAuthorizationStatusDenied || status == AVAuthorizationStatusRestricted) {
        setError(error, AVErrorApplicationIsNotAuthorizedToUseDevice, "The app is not authorized to use the camera.");
        return nullptr;
    }
    return std::make_shared<AVCaptureDeviceInput>(std::move(device));
}

}  // namespace platform
