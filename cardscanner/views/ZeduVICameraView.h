#pragma once
// ZeduVICameraView is the camera view, inside the scan view: the preview of
// the capture stream, the card guide over it, the shutter that covers the
// preview until frames arrive, and the instruction label under the guide. It
// drives the capture stream (it is the stream's delegate and the guide's) and
// tells its owner when a processed frame completes the scan.
//
// Main thread only: the stream hands every processed frame over to the
// main thread before it arrives here.

#include <functional>
#include <memory>

#include "cardscanner/context/ZeduVIContext.h"
#include "cardscanner/views/ZeduVIGuideLayer.h"
#include "cardscanner/capture/ZeduVIVideoStream.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/Label.h"
#include "platform/ui/View.h"

namespace cardscanner {

class ZeduVICardScanner;
class ZeduVIShutterView;
class ZeduVIVideoFrame;

class ZeduVICameraView : public platform::UIView,
                         public ZeduVIVideoStreamDelegate,
                         public ZeduVIGuideLayerDelegate {
public:
    // The frame that ends the scan: the number was read, or, in image-only
    // detection, the card was found and warped.
    using ScanCompletion = std::function<void(const std::shared_ptr<ZeduVIVideoFrame>& frame)>;
    // The stream turned to another detection mode during the scan.
    using DetectionModeChange = std::function<void(ZeduVIDetectionMode mode)>;

    static std::shared_ptr<ZeduVICameraView> create(platform::CGRect frame, std::shared_ptr<ZeduVIContext> config);
    ZeduVICameraView(platform::CGRect frame, std::shared_ptr<ZeduVIContext> config);
    ~ZeduVICameraView() override;

    void setScanCompletion(ScanCompletion completion) { scanCompletion_ = std::move(completion); }
    void setDetectionModeChange(DetectionModeChange change) { detectionModeChange_ = std::move(change); }

    // Appearance calls of the stream, then its session; stopping closes the shutter.
    void startVideoStreamSession();
    void stopVideoStreamSession();
    // Stops the camera and stops listening without touching a view or a layer:
    // all that a destructor may do, whatever else is being torn down with it.
    void stopCapture();
    bool isRunning() const;

    // The camera preview's rectangle within the bounds: the camera's picture,
    // turned for the status bar, fitted and centred.
    platform::CGRect cameraPreviewFrame() const;
    std::shared_ptr<ZeduVICardScanner> scanner() const;
    const std::shared_ptr<ZeduVIGuideLayer>& cardGuide() const { return cardGuide_; }
    const std::shared_ptr<ZeduVIShutterView>& shutter() const { return shutter_; }
    const std::shared_ptr<ZeduVIVideoStream>& videoStream() const { return videoStream_; }
    // Processed frames since the session started.
    int framesProcessed() const { return framesProcessed_; }

    void layoutSubviews() override;

    // ZeduVIVideoStreamDelegate
    void videoStreamDidProcessFrame(ZeduVIVideoStream& stream, std::shared_ptr<ZeduVIVideoFrame> frame) override;
    void videoStreamDidChangeDetectionMode(ZeduVIVideoStream& stream, ZeduVIDetectionMode mode) override;
    bool respondsToOverlayOrientationQueries() const override { return true; }
    bool isSupportedOverlayOrientation(long orientation) override;
    long defaultSupportedOverlayOrientation() override;
    // ZeduVIGuideLayerDelegate
    void guideLayerDidLayout(platform::CGRect rect) override;

private:
    void didReceiveDeviceOrientationNotification();
    long guideOrientation();

    std::shared_ptr<ZeduVIContext> config_;
    std::shared_ptr<ZeduVIVideoStream> videoStream_;
    std::shared_ptr<ZeduVIGuideLayer> cardGuide_;
    std::shared_ptr<ZeduVIShutterView> shutter_;
    std::shared_ptr<platform::UILabel> instructions_;
    ScanCompletion scanCompletion_;
    DetectionModeChange detectionModeChange_;
    bool completed_ = false;
    int framesProcessed_ = 0;
};

}  // namespace cardscanner
