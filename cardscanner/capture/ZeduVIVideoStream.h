#pragma once
// The back camera for the card scanner: owns the capture session, analyses
// every frame on its own serial capture queue (frame analysis with the
// stream's scanner and RecoContext), hands the analysed frame to its
// delegate on the main thread, and steers the camera while scanning (focus
// range and point, a one-shot autofocus on blurred frames, the torch on dark
// or bright pictures). It tracks the interface orientation frames are
// analysed in (through the context's orientation model) and pauses while the
// app is not active. The options come from the context and are only read:
// when an automatic scan turns to the card image, the stream keeps that mode
// itself and reports it to its delegate.
//
// Threads: the main thread creates the stream and calls everything but the
// sample-buffer callbacks, which the capture queue runs (and checks). The
// camera steering (autofocusOnce, the torch setters and queries) is also
// called from the frame handler on the capture queue: those go through
// changeCameraConfiguration and take no thread check. The camera's
// "adjustingFocus"/"adjustingExposure" observers run on whatever thread
// changes them. Every camera configuration runs under one semaphore. The
// RecoContext and the torch-wish state are used on the capture queue only.
// stopSession drains the capture queue before it returns (unless called on
// that queue), so no frame handler runs after it; a frame queued before the
// stop finds the stream stopped and does nothing.
//
// Lifetime: shared (create()). The capture output holds the stream weakly.

#include <atomic>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <semaphore>

#include "cardscanner/analysis/ZeduVIDetectionMode.h"
#include "cardscanner/core/Transform.h"
#include "platform/capture/CaptureDevice.h"
#include "platform/capture/CaptureSession.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NotificationCenter.h"

namespace cardscanner {

class ZeduVICardScanner;
class ZeduVIContext;
class ZeduVIVideoFrame;
class ZeduVIVideoStream;

// Main thread only.
class ZeduVIVideoStreamDelegate {
public:
    virtual ~ZeduVIVideoStreamDelegate() = default;
    virtual void videoStreamDidProcessFrame(ZeduVIVideoStream& stream, std::shared_ptr<ZeduVIVideoFrame> frame) = 0;
    // The frames from now on are analysed in `mode`; told before the first of them arrives.
    virtual void videoStreamDidChangeDetectionMode(ZeduVIVideoStream& /*stream*/, ZeduVIDetectionMode /*mode*/) {}
    // Optional pair: the stream consults the two below only when this answers true.
    virtual bool respondsToOverlayOrientationQueries() const { return false; }
    virtual bool isSupportedOverlayOrientation(long /*orientation*/) { return true; }
    // 0: none.
    virtual long defaultSupportedOverlayOrientation() { return 0; }
};

class ZeduVIVideoStream : public platform::AVCaptureVideoDataOutputSampleBufferDelegate,
                          public std::enable_shared_from_this<ZeduVIVideoStream> {
public:
    // No torch wish pending.
    static constexpr double kNoTorchWish = std::numeric_limits<double>::infinity();
    static constexpr double kTorchWishHoldSeconds = 1.0;
    static constexpr float kTorchLevel = 0.05f;
    static constexpr double kAutofocusSpacingSeconds = 2.0;
    static constexpr double kResumeContinuousAutofocusDelay = 0.1;
    // The torch threshold: an ON wish needs more, an OFF wish (middle brightness) less.
    static constexpr long kTorchISOThreshold = 250;
    // Exposure facts of a frame without EXIF data.
    static constexpr long kMissingISOSpeed = 10000;

    // The warp runs on the GPU filter (the CPU one where no GL can be had).
    static std::shared_ptr<ZeduVIVideoStream> create();
    // With another filter factory (an empty one: the CPU filter).
    static std::shared_ptr<ZeduVIVideoStream> createWithFilterFactory(TransformFilterFactory factory);

    explicit ZeduVIVideoStream(TransformFilterFactory factory);
    ~ZeduVIVideoStream() override;
    ZeduVIVideoStream(const ZeduVIVideoStream&) = delete;
    ZeduVIVideoStream& operator=(const ZeduVIVideoStream&) = delete;

    // Never nullptr: the default options until set.
    std::shared_ptr<ZeduVIContext> config() const;
    void setConfig(std::shared_ptr<ZeduVIContext> config);
    // The mode frames are analysed in: the context's until set here or
    // until an automatic scan turns to the card image. Any thread.
    ZeduVIDetectionMode detectionMode() const;
    void setDetectionMode(ZeduVIDetectionMode mode) { detectionMode_.store(mode); }
    std::shared_ptr<ZeduVIVideoStreamDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<ZeduVIVideoStreamDelegate> delegate) { delegate_ = std::move(delegate); }
    // Where the orientation comes from when the device lies flat and none is
    // known yet; unset, the context's orientation model (the orientation the
    // screens were last laid out in); answering 0: portrait.
    void setInitialInterfaceOrientationProvider(std::function<long()> provider) {
        initialInterfaceOrientationProvider_ = std::move(provider);
    }

    bool running() const { return running_.load(); }
    const std::shared_ptr<platform::AVCaptureVideoPreviewLayer>& previewLayer() const { return previewLayer_; }
    const std::shared_ptr<ZeduVICardScanner>& scanner() const { return scanner_; }
    const std::shared_ptr<platform::AVCaptureSession>& captureSession() const { return captureSession_; }
    // nullptr on a device without a camera.
    const std::shared_ptr<platform::AVCaptureDevice>& camera() const { return camera_; }
    RecoContext* reco() const { return reco_; }
    long interfaceOrientation() const { return interfaceOrientation_.load(); }
    bool wasRunningBeforeBeingBackgrounded() const { return wasRunningBeforeBeingBackgrounded_; }
    bool didEndGeneratingDeviceOrientationNotifications() const {
        return didEndGeneratingDeviceOrientationNotifications_;
    }
    // The queue of the current session; nullptr while stopped.
    std::shared_ptr<platform::SerialQueue> captureQueue() const;

    void willAppear();
    void willDisappear();
    // Does nothing while running, or when the camera cannot be opened.
    void startSession();
    void stopSession();
    // Runs `block` with the camera locked for configuration, inside the
    // session's begin/commit; false (block not run) when it cannot be locked.
    bool changeCameraConfiguration(const std::function<void()>& block);

    bool hasTorch() const;
    bool canSetTorchLevel() const;
    bool torchIsOn() const;
    bool setTorchOn(bool on);
    bool setTorchModeOnWithLevel(float level);
    bool hasAutofocus() const;
    void autofocusOnce();
    void resumeContinuousAutofocusing();
    void refocus();

    bool addInputAndOutput();
    void removeInputAndOutput();

    // Capture queue.
    void captureOutputDidOutputSampleBuffer(platform::AVCaptureOutput& output, platform::CMSampleBufferRef buffer,
                                            platform::AVCaptureConnection* connection) override;
    void captureOutputDidDropSampleBuffer(platform::AVCaptureOutput&, platform::CMSampleBufferRef,
                                          platform::AVCaptureConnection*) override {}

    void sendFrameToDelegate(std::shared_ptr<ZeduVIVideoFrame> frame);
    // Main thread.
    void reportDetectionMode(ZeduVIDetectionMode mode);
    // "adjustingFocus" and "adjustingExposure"; other key paths are ignored. Any thread.
    void observeValueForKeyPath(const std::string& keyPath, bool newValue);

    void didReceiveDeviceOrientationNotification(const platform::Notification* notification);
    void didReceiveBackgroundingNotification();
    void didReceiveForegroundingNotification();

private:
    // Capture queue.
    void steerTorch(const ZeduVIVideoFrame& frame, long isoSpeed);
    void scheduleResumeContinuousAutofocusing();
    // Waits until the queue has run everything posted to it so far; not on that queue.
    static void drain(const std::shared_ptr<platform::SerialQueue>& queue);
    // A queue must not be destroyed on its own worker (it would join itself).
    static void release(std::shared_ptr<platform::SerialQueue>& queue);

    RecoContext* reco_ = nullptr;
    mutable std::mutex mutex_;  // guards config_ and captureQueue_
    std::shared_ptr<ZeduVIContext> config_;
    // Negative: the context's.
    std::atomic<long long> detectionMode_{-1};
    std::atomic<bool> running_{false};
    std::weak_ptr<ZeduVIVideoStreamDelegate> delegate_;
    std::function<long()> initialInterfaceOrientationProvider_;
    std::shared_ptr<platform::AVCaptureVideoPreviewLayer> previewLayer_;
    std::shared_ptr<ZeduVICardScanner> scanner_;
    bool wasRunningBeforeBeingBackgrounded_ = false;
    bool didEndGeneratingDeviceOrientationNotifications_ = false;
    bool observingNotifications_ = false;
    // The context whose orientation model the stream listens to, while it does.
    std::shared_ptr<ZeduVIContext> listenedContext_;
    std::atomic<long> interfaceOrientation_{0};
    std::shared_ptr<platform::AVCaptureSession> captureSession_;
    std::shared_ptr<platform::AVCaptureDevice> camera_;
    std::shared_ptr<platform::AVCaptureDeviceInput> cameraInput_;
    std::shared_ptr<platform::AVCaptureVideoDataOutput> videoOutput_;
    std::shared_ptr<platform::SerialQueue> captureQueue_;
    platform::AVCaptureDevice::Token focusObservation_ = 0;
    platform::AVCaptureDevice::Token exposureObservation_ = 0;
    double lastAutoFocusOnceTime_ = 0;
    std::atomic<bool> currentlyAdjustingFocus_{false};
    std::atomic<bool> currentlyAdjustingExposure_{false};
    double lastChangeSignal_ = kNoTorchWish;
    bool lastChangeTorchStateToOFF_ = false;
    std::counting_semaphore<> cameraConfigurationSemaphore_{1};
};

}  // namespace cardscanner
