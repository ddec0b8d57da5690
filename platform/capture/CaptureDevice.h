#pragma once
// The camera device and its input: focus, exposure and torch as device
// state, the optics that the capture session films through.
//
// One AVCaptureDevice stands for the process's camera (the frame source of
// FrameSource.h); it is shared and thread-safe: configured from the main
// thread and from a capture queue. Setters that need the configuration lock
// log and ignore a call from a thread that does not hold it. Observers of
// "adjustingFocus" and "adjustingExposure" run on the thread that changed the
// value (the filming thread for a focus that settles during a frame, the
// configuring thread for one that starts), never under the device's mutex.
//
// The optics, stepped by the session once per filmed frame (30 per second):
// - the lens starts out of focus (defocus 1);
// - a one-shot autofocus (focus mode AutoFocus) reports "adjustingFocus" YES
//   at once, brings the defocus linearly to 0 over kFocusScanFrames frames,
//   then reports NO and leaves the mode Locked; it runs to its end even when
//   the mode is changed meanwhile;
// - continuous autofocus holds a focus once found and otherwise drifts toward
//   it by kContinuousFocusStep a frame (about 2 s from fully out); Locked
//   keeps the lens where it is;
// - auto-exposure meters the scene light L (the source's sceneLight plus, with
//   the torch on, its level x kTorchLightPerLevel): ISO rises linearly from 50
//   at L >= 1 to 800 at L <= 0.2; the exposure duration from 1/120 s to 1/30 s
//   alike. After L moved by more than kExposureChangeThreshold (relative),
//   "adjustingExposure" is YES for kExposureSettleFrames frames.
// A source without focus control offers only Locked and stays sharp
// (defocus 0); one without torch answers NO to every torch query.

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/capture/FrameSource.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/KeyPathObservers.h"
#include "platform/graphics/Geometry.h"

namespace platform {

enum AVAuthorizationStatus : long {
    AVAuthorizationStatusNotDetermined = 0,
    AVAuthorizationStatusRestricted = 1,
    AVAuthorizationStatusDenied = 2,
    AVAuthorizationStatusAuthorized = 3,
};

enum AVCaptureFocusMode : long {
    AVCaptureFocusModeLocked = 0,
    AVCaptureFocusModeAutoFocus = 1,
    AVCaptureFocusModeContinuousAutoFocus = 2,
};

enum AVCaptureTorchMode : long {
    AVCaptureTorchModeOff = 0,
    AVCaptureTorchModeOn = 1,
    AVCaptureTorchModeAuto = 2,
};

enum AVCaptureAutoFocusRangeRestriction : long {
    AVCaptureAutoFocusRangeRestrictionNone = 0,
    AVCaptureAutoFocusRangeRestrictionNear = 1,
    AVCaptureAutoFocusRangeRestrictionFar = 2,
};

// The camera's rate, the one number everything that counts its frames uses:
// the session films a frame every 1/30 s of the clock, and an exposure lasts
// at most one frame.
inline constexpr double kCameraFramesPerSecond = 30;

inline constexpr const char* AVMediaTypeVideo = "vide";
inline constexpr float AVCaptureMaxAvailableTorchLevel = 1.0f;
inline constexpr const char* AVFoundationErrorDomain = "AVFoundationErrorDomain";
inline constexpr int AVErrorDeviceLockedForConfigurationByAnotherProcess = -11817;
inline constexpr int AVErrorApplicationIsNotAuthorizedToUseDevice = -11852;
inline constexpr int AVErrorDeviceNotConnected = -11814;
inline constexpr int AVErrorInvalidTorchLevel = -11870;

// Camera access as the user granted it; Authorized by default.
void setCameraAuthorizationStatus(AVAuthorizationStatus status);

class AVCaptureDevice {
public:
    using Observer = std::function<void(const std::string& keyPath, bool newValue)>;
    using Token = KeyPathObservers<Observer>::Token;

    static constexpr int kFocusScanFrames = 6;
    static constexpr double kContinuousFocusStep = 1.0 / 60;
    static constexpr float kMinISO = 50;
    static constexpr float kMaxISO = 800;
    static constexpr float kFullLight = 1.0f;
    static constexpr float kDimmestMeteredLight = 0.2f;
    static constexpr float kExposureChangeThreshold = 0.2f;
    static constexpr int kExposureSettleFrames = 4;

    // The process's camera for video (the same object until the frame source
    // changes); nullptr for another media type or when there is no camera.
    static std::shared_ptr<AVCaptureDevice> defaultDeviceWithMediaType(const std::string& mediaType);
    static AVAuthorizationStatus authorizationStatusForMediaType(const std::string& mediaType);

    explicit AVCaptureDevice(std::shared_ptr<FrameSource> source);

    const std::shared_ptr<FrameSource>& frameSource() const { return source_; }
    bool hasMediaType(const std::string& mediaType) const;

    // Nests on the thread that holds it; fails (with an error) while another
    // thread holds it or while the device refuses (setRefusesConfigurationLock).
    bool lockForConfiguration(Error* error);
    void unlockForConfiguration();
    // Test hook.
    void setRefusesConfigurationLock(bool refuses);

    // Focus.
    bool isFocusModeSupported(AVCaptureFocusMode mode) const;
    AVCaptureFocusMode focusMode() const;
    void setFocusMode(AVCaptureFocusMode mode);
    bool respondsToAutoFocusRangeRestriction() const { return true; }
    bool isAutoFocusRangeRestrictionSupported() const;
    AVCaptureAutoFocusRangeRestriction autoFocusRangeRestriction() const;
    void setAutoFocusRangeRestriction(AVCaptureAutoFocusRangeRestriction restriction);
    bool respondsToFocusPointOfInterest() const { return true; }
    bool isFocusPointOfInterestSupported() const;
    CGPoint focusPointOfInterest() const;
    void setFocusPointOfInterest(CGPoint point);
    bool isAdjustingFocus() const;
    double lensDefocus() const;

    // Exposure.
    bool isAdjustingExposure() const;
    float ISO() const;
    double exposureDuration() const;

    // Torch.
    bool hasTorch() const;
    bool isTorchModeSupported(AVCaptureTorchMode mode) const;
    bool isTorchAvailable() const;
    AVCaptureTorchMode torchMode() const;
    void setTorchMode(AVCaptureTorchMode mode);
    // The level while the torch is on, else 0.
    float torchLevel() const;
    bool respondsToSetTorchModeOnWithLevel() const { return true; }
    // Level in (0, 1]; false with an error for another level, without torch,
    // or without the configuration lock.
    bool setTorchModeOnWithLevel(float level, Error* error);

    // Key-value observing of "adjustingFocus" and "adjustingExposure"; with
    // `initial` the current value is reported at once, inside the call.
    Token addObserverForKeyPath(const std::string& keyPath, bool initial, Observer observer);
    void removeObserver(Token token);

    // The session steps the optics by one frame of `frameIndex` and takes the
    // exposure of that frame. Any thread.
    FrameSource::Exposure advanceFrame(int frameIndex);

private:
    bool heldByCaller() const;  // mutex_ held
    bool refuseUnlocked(const char* what) const;  // mutex_ held
    void setAdjustingFocus(bool adjusting);  // mutex_ not held
    void tell(const std::string& keyPath, bool value);  // mutex_ not held

    const std::shared_ptr<FrameSource> source_;
    const bool hasFocusControl_;
    const bool hasTorch_;
    mutable std::mutex mutex_;
    std::thread::id lockHolder_;
    int lockDepth_ = 0;
    bool refusesLock_ = false;

    AVCaptureFocusMode focusMode_;
    AVCaptureAutoFocusRangeRestriction rangeRestriction_ = AVCaptureAutoFocusRangeRestrictionNone;
    CGPoint focusPoint_{0.5, 0.5};
    double defocus_;
    int focusScanFramesLeft_ = 0;
    double focusScanStep_ = 0;
    bool adjustingFocus_ = false;

    float meteredLight_ = -1;  // none metered yet
    int exposureSettleFramesLeft_ = 0;
    bool adjustingExposure_ = false;
    float iso_ = kMinISO;
    double exposureDuration_ = 1.0 / 120;

    AVCaptureTorchMode torchMode_ = AVCaptureTorchModeOff;
    float torchLevel_ = AVCaptureMaxAvailableTorchLevel;

    KeyPathObservers<Observer> observers_;
    std::mutex tellMutex_;  // observers_ is guarded by it, apart from the state
};

class AVCaptureDeviceInput {
public:
    // nullptr and an error when the device is null or access is denied or restricted.
    static std::shared_ptr<AVCaptureDeviceInput> deviceInputWithDevice(std::shared_ptr<AVCaptureDevice> device,
                                                                       Error* error);
    explicit AVCaptureDeviceInput(std::shared_ptr<AVCaptureDevice> device) : device_(std::move(device)) {}
    const std::shared_ptr<AVCaptureDevice>& device() const { return device_; }

private:
    std::shared_ptr<AVCaptureDevice> device_;
};

}  // namespace platform
