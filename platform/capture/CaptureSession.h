#pragma once
// The capture session: films the camera's frame source through its device and
// hands each frame to a video data output's sample-buffer delegate, on the
// serial queue the delegate came with.
//
// A session is shared; its configuration (inputs, outputs, preset,
// begin/commit) and startRunning/stopRunning may be called from any thread,
// typically the main thread and the delegate's queue. While running with an
// input and a video data output with a delegate, the session's own filming
// thread takes a frame every 1/30 s of the platform clock: it steps the
// device's optics, renders a 640 x 480 two-plane 4:2:0 PixelBuffer with the
// "{Exif}" attachment and posts it with `async` to the delegate's queue. When
// that queue is still busy with an earlier frame and the output discards
// late frames, the frame is not rendered and the delegate is told of a drop
// (captureOutputDidDropSampleBuffer, with a sample buffer without image),
// also on its queue. The clock may be a manual one: the filming thread then
// follows the time the test sets.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/capture/CaptureDevice.h"
#include "platform/capture/SampleBuffer.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/Value.h"
#include "platform/graphics/Layer.h"

namespace platform {

inline constexpr const char* AVCaptureSessionPreset640x480 = "AVCaptureSessionPreset640x480";
inline constexpr const char* AVCaptureSessionPresetHigh = "AVCaptureSessionPresetHigh";
// The video settings' pixel format key and the two-plane 4:2:0 format's code.
inline constexpr const char* kCVPixelBufferPixelFormatTypeKey = "PixelFormatType";
inline constexpr const char* kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange = "420v";

class AVCaptureOutput;

// Opaque; may be nullptr in calls.
class AVCaptureConnection {};

class AVCaptureVideoDataOutputSampleBufferDelegate {
public:
    virtual ~AVCaptureVideoDataOutputSampleBufferDelegate() = default;
    virtual void captureOutputDidOutputSampleBuffer(AVCaptureOutput& output, CMSampleBufferRef buffer,
                                                    AVCaptureConnection* connection) = 0;
    virtual void captureOutputDidDropSampleBuffer(AVCaptureOutput& /*output*/, CMSampleBufferRef /*buffer*/,
                                                  AVCaptureConnection* /*connection*/) {}
};

class AVCaptureOutput {
public:
    virtual ~AVCaptureOutput() = default;
};

// Thread-safe.
class AVCaptureVideoDataOutput : public AVCaptureOutput,
                                 public std::enable_shared_from_this<AVCaptureVideoDataOutput> {
public:
    static std::shared_ptr<AVCaptureVideoDataOutput> create() { return std::make_shared<AVCaptureVideoDataOutput>(); }

    // A dictionary with kCVPixelBufferPixelFormatTypeKey, or nil for the
    // default; either way frames are two-plane 4:2:0.
    void setVideoSettings(Value settings);
    Value videoSettings() const;
    void setAlwaysDiscardsLateVideoFrames(bool discards) { discardsLate_ = discards; }
    bool alwaysDiscardsLateVideoFrames() const { return discardsLate_; }
    // Both empty to clear.
    void setSampleBufferDelegate(std::weak_ptr<AVCaptureVideoDataOutputSampleBufferDelegate> delegate,
                                 std::shared_ptr<SerialQueue> queue);
    std::weak_ptr<AVCaptureVideoDataOutputSampleBufferDelegate> sampleBufferDelegate() const;
    std::shared_ptr<SerialQueue> sampleBufferCallbackQueue() const;

private:
    friend class AVCaptureSession;
    mutable std::mutex mutex_;
    Value videoSettings_;
    std::atomic<bool> discardsLate_{true};
    std::weak_ptr<AVCaptureVideoDataOutputSampleBufferDelegate> delegate_;
    std::shared_ptr<SerialQueue> queue_;
    // Frames posted to the queue and not yet handled there.
    std::shared_ptr<std::atomic<int>> framesInFlight_ = std::make_shared<std::atomic<int>>(0);
};

class AVCaptureSession : public std::enable_shared_from_this<AVCaptureSession> {
public:
    static std::shared_ptr<AVCaptureSession> create() { return std::make_shared<AVCaptureSession>(); }
    AVCaptureSession() = default;
    ~AVCaptureSession();  // stops running

    // Changes between begin and commit take effect together at the commit:
    // no frame is filmed while a configuration is open. Calls nest.
    void beginConfiguration();
    void commitConfiguration();
    std::string sessionPreset() const;
    // Only AVCaptureSessionPreset640x480 and AVCaptureSessionPresetHigh are
    // known; another preset is logged and ignored.
    void setSessionPreset(const std::string& preset);

    // One input: a second is refused, as is a null one.
    bool canAddInput(const std::shared_ptr<AVCaptureDeviceInput>& input) const;
    void addInput(std::shared_ptr<AVCaptureDeviceInput> input);
    void removeInput(const std::shared_ptr<AVCaptureDeviceInput>& input);
    std::vector<std::shared_ptr<AVCaptureDeviceInput>> inputs() const;
    bool canAddOutput(const std::shared_ptr<AVCaptureVideoDataOutput>& output) const;
    void addOutput(std::shared_ptr<AVCaptureVideoDataOutput> output);
    void removeOutput(const std::shared_ptr<AVCaptureVideoDataOutput>& output);
    std::vector<std::shared_ptr<AVCaptureVideoDataOutput>> outputs() const;

    void startRunning();
    // Returns once no further frame will be posted to a delegate's queue by
    // the session; frames already posted may still run. Safe from the
    // delegate's own queue.
    void stopRunning();
    bool isRunning() const;

    // Test hooks: films one frame and delivers it, returning once the
    // delegate's queue ran it (at once, without waiting, when called on that
    // queue); false when there is no input or output with a delegate, or the
    // source has ended. Works whether the session runs or not, regardless of
    // the clock and of busy queues.
    bool deliverFrameNow();
    // Off: the session's filming thread takes no frames (default on).
    void setPacedDelivery(bool paced);

    // The last frame delivered (for the preview), or nullptr.
    std::shared_ptr<PixelBuffer> lastFrame() const;

private:
    struct Target {
        std::shared_ptr<AVCaptureDevice> device;
        std::shared_ptr<AVCaptureVideoDataOutput> output;
        std::shared_ptr<AVCaptureVideoDataOutputSampleBufferDelegate> delegate;
        std::shared_ptr<SerialQueue> queue;
    };
    bool target(Target& into) const;  // mutex_ held
    enum class Delivery { Delivered, Dropped, NoTarget, SourceEnded };
    // filmMutex_ held; `queue` gets the queue the frame went to.
    Delivery filmFrame(bool mayDrop, std::shared_ptr<SerialQueue>* queue);
    void filmingThread();

    mutable std::mutex mutex_;
    int configurationDepth_ = 0;
    std::string preset_ = AVCaptureSessionPresetHigh;
    std::vector<std::shared_ptr<AVCaptureDeviceInput>> inputs_;
    std::vector<std::shared_ptr<AVCaptureVideoDataOutput>> outputs_;
    bool running_ = false;
    bool paced_ = true;
    std::shared_ptr<PixelBuffer> lastFrame_;
    std::condition_variable wake_;
    std::thread filmer_;

    std::mutex filmMutex_;  // one frame filmed at a time
    int frameIndex_ = 0;
    std::atomic<bool> ended_{false};
};

// How far the process's camera has got: the frames rendered so far (a frame
// dropped while the delegate was busy is not rendered, so this counts what
// the delegates saw), counted from one session at a time, so that sessions
// filming together count the camera's time once; and how many sessions are
// filming now (running with paced delivery, their source not ended).
struct CameraFilming {
    std::uint64_t framesRendered = 0;
    int sessionsFilming = 0;
};
CameraFilming cameraFilming();

// The interface orientation previews turn their picture for, in the values
// of UIInterfaceOrientation (1 portrait, 2 upside down, 3 landscape right,
// 4 landscape left). The application installs its status bar's orientation
// here when it is made; previews are drawn portrait until then. Main thread.
void setPreviewOrientationSource(std::function<long()> source);

// Shows the session's last delivered frame, aspect-filled in its bounds,
// converted to RGB only when drawn. The camera frame is upright for the
// landscape-right interface; the layer turns it for the status bar's
// orientation as the phone's preview does: portrait a quarter turn clockwise
// (the frame's top on the screen's right), landscape left a half turn,
// upside down a quarter turn counter-clockwise. Main thread only, as every layer.
class AVCaptureVideoPreviewLayer : public CALayer {
public:
    static std::shared_ptr<AVCaptureVideoPreviewLayer> create(std::shared_ptr<AVCaptureSession> session);
    explicit AVCaptureVideoPreviewLayer(std::shared_ptr<AVCaptureSession> session) : session_(std::move(session)) {}
    const std::shared_ptr<AVCaptureSession>& session() const { return session_; }

    void drawInContext(CGContextRef context) override;

private:
    std::shared_ptr<AVCaptureSession> session_;
};

}  // namespace platform
