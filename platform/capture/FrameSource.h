#pragma once
// What the camera films. The process has one camera (or none): the frame
// source installed with setCameraFrameSource(). The capture session asks it
// for one picture per frame, on the session's own filming thread (or the
// thread of a test's deliverFrameNow), handing it the device's optics of that
// frame; one session films at a time, so render() is never called twice at
// once for one session. Sources keep no thread affinity of their own.

#include <memory>

#include "platform/capture/PixelBuffer.h"

namespace platform {

// The light the torch adds to a scene at level 1, in the units of
// FrameSource::sceneLight() (1: a well-lit room); the card sits close to it.
inline constexpr float kTorchLightPerLevel = 10.0f;

class FrameSource {
public:
    // The device's optics at the moment a frame is taken.
    struct Exposure {
        double lensDefocus = 0;   // 0 sharp .. 1 badly out of focus
        bool torchOn = false;
        float torchLevel = 0;     // 0..1, meaningful while torchOn
        float iso = 50;
        double exposureDuration = 1.0 / 120;  // seconds
    };

    virtual ~FrameSource() = default;
    // Fills `into` (a 640 x 480 two-plane 4:2:0 buffer, full-range BT.601)
    // with frame `frameIndex` (0 at the start of a session's run), taken at
    // `time` (seconds of the platform clock). False: the source has ended
    // (a file at its end) and the session stops filming.
    virtual bool render(int frameIndex, double time, const Exposure& exposure, PixelBuffer& into) = 0;
    virtual bool hasTorch() const { return true; }
    // Without focus control the lens is fixed (and sharp): only the locked
    // focus mode is offered.
    virtual bool hasFocusControl() const { return true; }
    // The scene's own light (0..1 and above), which the auto-exposure meters.
    virtual float sceneLight(int /*frameIndex*/) const { return 1.0f; }
};

// The process's camera; nullptr: the device has none. Installing a source
// (or none) replaces the default capture device with a fresh one.
void setCameraFrameSource(std::shared_ptr<FrameSource> source);
std::shared_ptr<FrameSource> cameraFrameSource();

}  // namespace platform
